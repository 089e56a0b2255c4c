#pragma once
// What a list window shows for a given list and selection: the window title, which detail page
// is up, which toolbar items are enabled, and the texts of the detail fields. Pure decisions and
// texts, so the redraw's rules test without widgets; the window applies them.
#include <cstdint>
#include <optional>
#include <string>

#include "files/Date.h"
#include "files/Files.h"

namespace ml::list {

// The detail pages, by index.
enum class DetailTab { emptyList = 0, singleItem = 1, noneOrSeveral = 2 };

struct DisplayPlan {
  std::string title;
  DetailTab tab = DetailTab::emptyList;
  // Move and copy toolbar items: enabled exactly when rows are selected (always set).
  std::optional<bool> moveAndCopyEnabled;
  // The toolbar item labelled "Actions".
  bool actionsEnabled = false;
  // Select the first row (the first list shown with rows and no selection in this process).
  bool selectFirstRow = false;
  // Rows selected once the plan is applied (the automatic selection counted).
  int selectedRows = 0;
  // The count line and the info button of the no-or-several page.
  std::string selectedCountText;
  bool infoButtonEnabled = false;
};

// The plan for a list of `topLevelRows` rows showing `shownRows` rows (expanded children
// included) of which `selectedRows` are selected. Reads and, for a list with rows, ends the
// process-wide initial load.
DisplayPlan planDisplay(std::size_t topLevelRows, int64_t shownRows, int selectedRows);

// While true, the next list shown with rows and no selection gets its first row selected. True
// at start; false for good after the first redraw of any list window that has rows.
bool isInitialLoad();
void resetInitialLoadForTesting();

// Texts of the detail fields.
namespace details {
// "Items: 1,234" (the locale's grouping).
std::string windowTitle(int64_t shownRows);
// "Items selected: 1234" (plain digits).
std::string selectedCount(int selectedRows);
// "for 12 items (10 files and 2 folders)", numbers in the locale's decimal style.
std::string folderSummary(const files::ContentCounts& counts);
// A byte count as "1.5 MB (1,572,864 bytes)"; a negative count (unreadable) as an em dash.
std::string sizeText(int64_t bytes);
// The date in the locale's medium date and short time style; empty for none.
std::string dateText(const std::optional<files::Date>& date);

inline constexpr const char* kUnknownKind = "Unknown File Type";
inline constexpr const char* kUnknownDate = "Unknown";
inline constexpr const char* kCalculatingSize = "Calculating size...";
}  // namespace details

}  // namespace ml::list

#include "list/display/ListDisplay.h"

#include <atomic>

#include "files/format/DateExtensions.h"
#include "files/format/FileSizeFormatter.h"
#include "files/format/SizeRepresentation.h"
#include "list/rows/ColumnValue.h"

namespace ml::list {

namespace {
// Shared by every list window of the process: only the first list ever shown with rows gets
// its first row selected for the user.
std::atomic<bool> initialLoad{true};
}  // namespace

bool isInitialLoad() { return initialLoad.load(); }
void resetInitialLoadForTesting() { initialLoad.store(true); }

DisplayPlan planDisplay(std::size_t topLevelRows, int64_t shownRows, int selectedRows) {
  DisplayPlan plan;
  plan.title = details::windowTitle(shownRows);
  plan.selectedRows = selectedRows;
  // Move and Copy act on the selection, like Remove: a list whose selected rows all went (to
  // the Trash, say) has nothing left for them, also when it has no rows at all.
  plan.moveAndCopyEnabled = topLevelRows > 0 && selectedRows > 0;
  if (topLevelRows == 0) {
    plan.tab = DetailTab::emptyList;
    plan.actionsEnabled = false;
    return plan;
  }
  if (selectedRows != 0) {
    plan.actionsEnabled = true;
  } else {
    plan.actionsEnabled = false;
    if (isInitialLoad()) {
      plan.selectFirstRow = true;
      plan.selectedRows = 1;
    }
  }
  if (plan.selectedRows == 1) {
    plan.tab = DetailTab::singleItem;
  } else {
    plan.tab = DetailTab::noneOrSeveral;
    plan.selectedCountText = details::selectedCount(plan.selectedRows);
    plan.infoButtonEnabled = plan.selectedRows > 0;
  }
  initialLoad.store(false);
  return plan;
}

namespace details {

std::string windowTitle(int64_t shownRows) { return "Items: " + files::decimalText(shownRows); }

std::string selectedCount(int selectedRows) { return "Items selected: " + std::to_string(selectedRows); }

std::string folderSummary(const files::ContentCounts& counts) {
  const int64_t total = static_cast<int64_t>(counts.files) + counts.folders;
  return "for " + files::decimalText(total) + " items (" + files::decimalText(counts.files) + " files and " +
         files::decimalText(counts.folders) + " folders)";
}

std::string sizeText(int64_t bytes) {
  if (bytes < 0) return std::string(kNoSizeText);
  return files::toSizeRepresentation(bytes) + " (" + files::decimalText(bytes) + " bytes)";
}

std::string dateText(const std::optional<files::Date>& date) {
  if (!date) return std::string();
  return files::dates::string(*date, files::dates::DateStyle::mediumStyle, files::dates::DateStyle::shortStyle);
}

}  // namespace details

}  // namespace ml::list

#pragma once
// The work of each global command, apart from the store type it runs on. Each takes the items to
// act on: absent when the command was given none and the store offers no selection, present
// otherwise. Present but empty items do nothing (there is nothing to show, copy or trash),
// except for a new list, which then opens empty.
//
// Called on the store's queue; each moves to the main queue for windows, panels and alerts and to
// the background queue for file work, as its comment says.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "appkit/values/Alert.h"
#include "files/Path.h"
#include "platform/darwin/FileManager.h"
#include "platform/foundation/Result.h"
#include "shell/CommandContext.h"

namespace ml::shell::commands {

using Items = std::optional<std::vector<files::Path>>;

// Info window for the items; without items, the several-items panel asks for them.
void openFileInfo(const Items& items, const CommandContext& context);
// The file manager's information window of each item (through the script runner); without
// items, the several-items panel asks for them.
void openFinderInfo(const Items& items, const CommandContext& context);
// Opens each item with the named application or the default one.
void openPaths(const Items& items, const std::optional<std::string>& application, const CommandContext& context);
// A new list window holding the items (empty without items, or with none).
void openList(const Items& items, const CommandContext& context);
// Copies the items into a folder the user chooses; fires ItemsCopied and reports failures.
void copyItems(const Items& items, const CommandContext& context);
// Moves the items into a folder the user chooses; fires ItemsMoved and reports failures.
void moveItems(const Items& items, const CommandContext& context);
// The batch-rename dialog, as a sheet on `parent` when given; fires ItemsRenamed.
void renameItems(const std::vector<files::Path>& items, const std::shared_ptr<WindowController>& parent,
                 const CommandContext& context);
// Shows the items in the file manager.
void revealItems(const Items& items, const CommandContext& context);
// Moves the items to the Trash; fires ItemsTrashed, and shows what could not go and why.
void trashItems(const Items& items, const CommandContext& context);
// A new find window.
void showSearchWindow(const CommandContext& context);
// A new preferences window, announced on the global store.
void showPreferencesWindow(const CommandContext& context);

enum class Transfer { copy, move };

// What one copy or move could not do, told in one alert and in one log line whatever the number
// of items: every failure, and every item that arrived without attributes its target cannot keep,
// is counted; the first few are named, then how many more. One per command; not thread-safe.
class TransferReport {
 public:
  // Entries of each kind named in the alert before "and N more."; the log names fewer. The
  // alert's details list up to kListed of each kind (a copy of tens of thousands of items that
  // all fail stays a list a user can scroll, and a bounded one), then count the rest.
  static constexpr std::size_t kNamedInAlert = 5;
  static constexpr std::size_t kNamedInLog = 3;
  static constexpr std::size_t kListed = 10000;

  // One named entry: the item, and its reason or its attributes.
  struct Line {
    std::string name;
    std::string detail;
  };

  // `folder`: where the items went; items below it are named from there ("docs/a.txt").
  TransferReport(Transfer kind, std::filesystem::path folder) : kind_(kind), folder_(std::move(folder)) {}

  void failed(const files::Path& source, const files::Path& destination, const foundation::Error& error);
  // What the target could not keep of one item (and of the items below it, for a folder).
  void unkept(const darwin::UnkeptAttributes& attributes);
  // Items never started because the work was stopped (logged).
  void notStarted(std::size_t items) { notStarted_ = items; }

  std::size_t failures() const { return failures_; }
  // Items that arrived without some of their attributes.
  std::size_t itemsWithoutAttributes() const { return unkeptItems_; }

  // At most one error line for the failures and one warning line for the attributes, of a
  // command given `items` items.
  void log(std::size_t items) const;
  // Failures, then the attributes left behind (each in words); nothing when everything arrived
  // in full. Names are shown visible and breakable; the details
  // hold the whole lists when the text names only the first few.
  std::optional<appkit::Alert> alert() const;

 private:
  std::string shownName(const std::filesystem::path& item) const;

  Transfer kind_;
  std::filesystem::path folder_;
  std::size_t failures_ = 0;
  std::vector<Line> namedFailures_;
  std::vector<std::string> loggedFailures_;
  std::size_t unkeptItems_ = 0;
  std::filesystem::path lastUnkeptItem_;
  std::vector<Line> namedUnkept_;
  std::size_t notStarted_ = 0;
};

// A count as the user's locale writes it ("19,995").
std::string countText(std::size_t count);

// What a trash that did not take every item tells the user: the items left where they were (the
// first few, and all of them under the details), and why.
appkit::Alert trashFailureAlert(const std::vector<std::filesystem::path>& given,
                                const std::vector<std::filesystem::path>& recycled, const foundation::Error& error);

// The alert shown when a command's window is not part of this build yet; `window` names it
// ("The Info window").
appkit::Alert windowNotAvailableAlert(const std::string& window);

}  // namespace ml::shell::commands

#pragma once
// The confirmation's walk over the items, one at a time: rename the item shown, skip it, rename
// it and all after it, or abort. Records old path to new path for each item renamed, and the
// failures of the last "rename remaining". Renames already made are never rolled back.
//
// Qt-free; the sheet (RenameConfirmationDialog) renders it. Main thread.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/Path.h"
#include "platform/foundation/Result.h"
#include "shell/RenameWindows.h"
#include "shell/core/PathList.h"

namespace ml::rename {

class RenameConfirmation {
 public:
  struct Failure {
    files::Path item;
    foundation::Error error;
  };

  // What the sheet shows for the current item.
  struct Shown {
    std::string currentName;
    // Percent of the items before this one: 0 for the first.
    double progress = 0;
    // The new name, or "Unable to calculate new name" when the rule fails for the item.
    std::string newNameText;
    // Why the item cannot be renamed as proposed (a name the folder cannot hold), if so.
    std::optional<std::string> problem;
    bool canRename = false;
  };

  RenameConfirmation(std::vector<files::Path> items, std::shared_ptr<const shell::RenameRule> rule);

  const std::vector<files::Path>& items() const { return items_; }
  std::size_t index() const { return index_; }
  // True once every item was renamed or skipped, after "rename remaining", after an abort, and
  // from the start when there is no item.
  bool isFinished() const { return finished_; }
  const shell::PathMapping& results() const { return results_; }

  // The current item as the sheet shows it. Only while not finished.
  Shown current() const;

  // Renames the current item. Success records it and moves on (or finishes after the last);
  // failure keeps the item current, so it can be skipped or retried.
  foundation::Result<files::Path> renameCurrent();
  void skip();
  // Renames the current item and every one after it, going on past failures; then finishes.
  std::vector<Failure> renameRemaining();
  void abort() { finished_ = true; }

 private:
  void advance();

  std::vector<files::Path> items_;
  std::shared_ptr<const shell::RenameRule> rule_;
  std::size_t index_ = 0;
  shell::PathMapping results_;
  bool finished_ = false;
};

}  // namespace ml::rename

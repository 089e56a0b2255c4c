#pragma once
// What the rename command needs of the batch-rename dialog and its confirmation sheet, which the
// batch-rename windows implement.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/Path.h"
#include "platform/foundation/Result.h"
#include "shell/core/PathList.h"
#include "shell/core/WindowController.h"

namespace ml::shell {

// A rule that computes an item's new name from its current one.
class RenameRule {
 public:
  virtual ~RenameRule() = default;
  // The new name, or an error when the rule cannot be applied to `name`.
  virtual foundation::Result<std::string> apply(const std::string& name) const = 0;
};

// The response with which the dialog ends its sheet when the user asks to rename.
inline constexpr int kRenameDialogContinueResponse = -1002;

class RenameDialogController : public ShowableWindow {
 public:
  // Whether the dialog has a window that can be a sheet.
  virtual bool hasWindow() const = 0;
  // Shows the dialog as a sheet on `parent`; `ended` gets the sheet's response on the main thread.
  virtual void beginSheet(const std::shared_ptr<WindowController>& parent, std::function<void(int response)> ended) = 0;
  // The rule the dialog's fields describe, or null when they form none. Read on the main thread.
  virtual std::shared_ptr<const RenameRule> rule() const = 0;
};

class RenameConfirmationController : public WindowController {
 public:
  // Shows the sheet on `parent`; `ended` runs on the main thread whatever the response.
  virtual void beginSheet(const std::shared_ptr<WindowController>& parent, std::function<void()> ended) = 0;
  // The renames the sheet performed (old path to new path); empty when none. Read after it ended.
  virtual PathMapping results() const = 0;
};

}  // namespace ml::shell

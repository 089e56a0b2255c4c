#include "rename/RenameWindowFactories.h"

#include "rename/confirmation/RenameConfirmationDialog.h"
#include "rename/dialog/RenameDialog.h"

namespace ml::rename {

void installRenameWindows(shell::WindowFactories& windows, const shell::WindowContext& context) {
  windows.renameDialog = [&context](const std::vector<files::Path>& items) {
    return std::make_shared<RenameDialog>(items, context);
  };
  windows.renameConfirmation = [&context](const std::vector<files::Path>& items,
                                          std::shared_ptr<const shell::RenameRule> rule) {
    return std::make_shared<RenameConfirmationDialog>(items, std::move(rule), context);
  };
}

}  // namespace ml::rename

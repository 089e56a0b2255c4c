#include "list/commands/SimpleRename.h"

#include <cerrno>

#include "files/FileSystem.h"
#include "files/VisibleName.h"
#include "list/rows/PathNames.h"
#include "list/state/ListEvents.h"
#include "list/state/OutlineView.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "rename/mover/MoveToNewName.h"
#include "rename/mover/RenameFailure.h"

namespace ml::list {

void tellNameChangeFailed(const std::shared_ptr<OutlineView>& view, std::string details) {
  dispatch::MainQueue::shared().async([view, details = std::move(details)] {
    if (!view) return;
    appkit::Alert alert;
    alert.style = appkit::Alert::Style::warning;
    alert.messageText = foundation::localizedString("Name change failed");
    alert.informativeText = details;
    alert.buttons = {foundation::localizedString("OK")};
    view->beginSheet(alert);
  });
}

bool isSingleComponentName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

void SimpleRename::execute(const ListWindowState& state, ListStore& core) {
  const std::string oldName = lastPathComponent(item_.url());
  const std::string newName = files::editedName(oldName, editedText_);
  if (!isSingleComponentName(newName)) {
    const auto error = foundation::Error::posix(EINVAL, "not a file name: \"" + files::visibleName(newName) + "\"");
    LOG_ERROR("failed to rename file. error=" << error);
    tellNameChangeFailed(state.view, rename::renameFailureText(item_, error));
    return;
  }
  if (newName == oldName) {
    core.fire(ItemsRenamed({{item_, item_}}, true));
    return;
  }
  const auto& fs = item_.fileSystem();
  files::Path folder = item_.parent().value_or(fs.rootPath());
  files::Path renamed(folder.sharedFileSystem(), folder.url() / newName);
  auto status = rename::moveToNewName(item_, renamed);
  if (!status) {
    LOG_ERROR("failed to rename file. error=" << status.error());
    tellNameChangeFailed(state.view, rename::renameFailureText(item_, status.error()));
    return;
  }
  core.fire(ItemsRenamed({{item_, renamed}}, true));
}

}  // namespace ml::list

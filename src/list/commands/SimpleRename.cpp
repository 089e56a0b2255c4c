#include "list/commands/SimpleRename.h"

#include <cerrno>

#include "files/FileSystem.h"
#include "list/rows/PathNames.h"
#include "list/state/ListEvents.h"
#include "list/state/OutlineView.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "rename/MoveToNewName.h"

namespace ml::list {

namespace {

void tellNameChangeFailed(const std::shared_ptr<OutlineView>& view) {
  dispatch::MainQueue::shared().async([view] {
    if (!view) return;
    appkit::Alert alert;
    alert.style = appkit::Alert::Style::warning;
    alert.messageText = foundation::localizedString("Name change failed");
    alert.buttons = {foundation::localizedString("OK")};
    view->beginSheet(alert);
  });
}

}  // namespace

bool isSingleComponentName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

void SimpleRename::execute(const ListWindowState& state, ListStore& core) {
  if (!isSingleComponentName(newName_)) {
    LOG_ERROR("failed to rename file. error=" << foundation::Error::posix(EINVAL, "not a file name: \"" + newName_ + "\""));
    tellNameChangeFailed(state.view);
    return;
  }
  if (newName_ == lastPathComponent(item_.url())) {
    core.fire(ItemsRenamed({{item_, item_}}, true));
    return;
  }
  const auto& fs = item_.fileSystem();
  files::Path folder = item_.parent().value_or(fs.rootPath());
  files::Path renamed(folder.sharedFileSystem(), folder.url() / newName_);
  auto status = rename::moveToNewName(item_, renamed);
  if (!status) {
    LOG_ERROR("failed to rename file. error=" << status.error());
    tellNameChangeFailed(state.view);
    return;
  }
  core.fire(ItemsRenamed({{item_, renamed}}, true));
}

}  // namespace ml::list

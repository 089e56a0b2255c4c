#include "list/commands/RemoveSelectedItems.h"

#include <string_view>
#include <unordered_set>

#include "appkit/Workspace.h"
#include "list/state/ListEvents.h"
#include "platform/logging/Log.h"
#include "shell/core/PathList.h"

namespace ml::list {

void RemoveSelectedItems::execute(const ListWindowState& state, ListStore& core) {
  std::vector<files::Path> selected = state.selectedItems();
  if (!trash_) {
    core.fire(ItemsRemovedEvent(std::move(selected), false));
    return;
  }
  if (selected.empty()) return;
  const auto& workspace = state.services().workspace;
  if (!workspace) {
    LOG_ERROR("failed to recycle items: no workspace. items=" << shell::PathList{selected});
    return;
  }
  workspace->recycle(
      shell::fileSystemPaths(selected),
      [selected, store = state.store->weak()](std::vector<std::filesystem::path> recycled,
                                              std::optional<foundation::Error> error) {
        // Only the rows of items that really went: the selection may have changed meanwhile, and
        // a failure may have come after some items were already in the Trash. Looked up by
        // location text (one form for every path), so thousands of items take milliseconds.
        std::unordered_set<std::string_view> went;
        went.reserve(recycled.size());
        for (const auto& url : recycled) went.insert(url.native());
        std::vector<files::Path> gone;
        gone.reserve(recycled.size());
        for (const auto& item : selected) {
          if (went.count(item.url().native())) gone.push_back(item);
        }
        if (error) {
          LOG_ERROR("failed to recycle items. item=" << shell::PathList{selected} << " error=" << *error);
        } else {
          LOG_DEBUG("recycled items successfully. items=" << shell::PathList{selected});
        }
        if (!gone.empty()) fireLater(store, ItemsRemovedEvent(std::move(gone), false));
      });
}

}  // namespace ml::list

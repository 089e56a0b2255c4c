#include "list/commands/AddCommands.h"

#include "files/FileSystem.h"
#include "list/state/ListEvents.h"
#include "platform/logging/Log.h"
#include "shell/Dialogs.h"

namespace ml::list {

void SelectItemsToAdd::execute(const ListWindowState& state, ListStore&) {
  shell::Dialogs(state.services().openPanels).chooseFiles(true, true, [store = state.store->weak()](std::vector<files::Path> chosen) {
    LOG_DEBUG("passing msg to event loop. message=[" << shell::PathList{chosen} << "]");
    fireLater(store, ItemsAddedEvent(std::move(chosen)));
  });
}

void SelectContainersToAdd::execute(const ListWindowState& state, ListStore&) {
  shell::Dialogs(state.services().openPanels).chooseFiles(true, false, [store = state.store->weak()](std::vector<files::Path> chosen) {
    LOG_DEBUG("passing msg to event loop. message=[" << shell::PathList{chosen} << "]");
    std::vector<files::Path> entries;
    for (const auto& folder : chosen) {
      const auto& fs = folder.fileSystem();
      if (!fs.isDirectory(folder)) continue;
      if (auto listed = fs.contentsOf(folder)) entries.insert(entries.end(), listed->begin(), listed->end());
    }
    fireLater(store, ItemsAddedEvent(std::move(entries)));
  });
}

}  // namespace ml::list

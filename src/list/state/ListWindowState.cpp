#include "list/state/ListWindowState.h"

#include <unordered_map>

#include "list/rows/ListWindowDataSource2.h"
#include "list/rows/RowBatches.h"
#include "list/state/ListEvents.h"
#include "list/state/OutlineView.h"
#include "platform/dispatch/MainQueue.h"
#include "shell/core/ApplicationEvents.h"

namespace ml::list {

namespace {

using dispatch::MainQueue;

void onMain(const std::function<void()>& work) { MainQueue::sync(work); }

}  // namespace

ListWindowState::ListWindowState(dispatch::Clock& clock, ListServices services)
    : dataSource(std::make_shared<ListWindowDataSource2>()),
      lastUpdated(clock.now()),
      store(std::make_shared<ListStoreReference>()),
      clock_(&clock),
      services_(std::make_shared<const ListServices>(std::move(services))) {}

std::vector<files::Path> ListWindowState::selectedItems() const {
  auto read = [view = view] {
    std::vector<files::Path> paths;
    if (!view) return paths;
    for (const auto& row : view->selectedItems()) paths.push_back(row->source());
    return paths;
  };
  if (MainQueue::isMainThread()) return read();
  return MainQueue::sync(read);
}

void ListWindowState::react(const store::Event& event) {
  if (auto* loaded = event.as<ListWindowLoadedEvent>()) {
    view = loaded->outlineView;
  } else if (auto* added = event.as<ItemsAddedEvent>()) {
    append(added->items);
  } else if (auto* removed = event.as<ItemsRemovedEvent>()) {
    remove(removed->items);
  } else if (auto* moved = event.as<shell::ItemsMoved>()) {
    replace(moved->items);
  } else if (auto* renamed = event.as<ItemsRenamed>()) {
    replace(renamed->changes);
  }
  lastUpdated = clock_->now();
}

void ListWindowState::append(const std::vector<files::Path>& paths) {
  // Rows of a large addition reach the outline in batches, as a folder listing would.
  // The closing runs on the main thread too, so a batch never lands in a closed list.
  buildRowsInBatches(
      paths, *clock_,
      [&](std::vector<std::shared_ptr<PathListItem>> batch) {
        onMain([&] {
          if (!store->isClosed()) dataSource->append(std::move(batch));
        });
      },
      [&] { return !store->isClosed(); }, services_->usageEvents);
}

void ListWindowState::remove(const std::vector<files::Path>& paths) {
  onMain([&] {
    dataSource->remove(paths);
    if (view) view->deselectAll();
  });
}

void ListWindowState::replace(const shell::PathMapping& mapping) {
  if (mapping.empty() || store->isClosed()) return;
  // A later pair for the same old path wins, as in a map built from the pairs in order.
  std::unordered_map<files::Path, files::Path> newPaths;
  for (const auto& [from, to] : mapping) newPaths.insert_or_assign(from, to);

  std::vector<files::Path> sources;
  onMain([&] { sources = dataSource->sources(); });
  // One fresh row per listed row (a path listed twice gets two rows), built off the main thread.
  ListWindowDataSource2::Replacements replacements;
  SharedTexts texts;
  for (const auto& source : sources) {
    auto it = newPaths.find(source);
    if (it == newPaths.end()) continue;
    replacements[source].push_back(PathListItem::make(it->second, services_->usageEvents, &texts));
  }
  if (replacements.empty()) return;
  onMain([&] { dataSource->replace(std::move(replacements)); });
}

}  // namespace ml::list

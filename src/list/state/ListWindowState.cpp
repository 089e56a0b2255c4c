#include "list/state/ListWindowState.h"

#include <string>
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
    if (added->handedOver) store->taken(added->items.size());
    append(added->items);
  } else if (auto* removed = event.as<ItemsRemovedEvent>()) {
    remove(removed->items);
  } else if (auto* moved = event.as<shell::ItemsMoved>()) {
    replace(moved->items);
  } else if (auto* renamed = event.as<ItemsRenamed>()) {
    replace(renamed->changes);
  } else if (auto* trashed = event.as<shell::ItemsTrashed>()) {
    // What the application moved to the Trash is no longer where its rows say.
    remove(trashed->items);
  }
  lastUpdated = clock_->now();
}

void ListWindowState::append(const PathPack& paths) {
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

// Only the rows that go leave the selection (the outline drops them with the rows): the rest of
// it stays, also when nothing listed matched, as after a trash of items shown elsewhere.
void ListWindowState::remove(const std::vector<files::Path>& paths) {
  if (paths.empty()) return;
  onMain([&] { dataSource->remove(paths); });
}

void ListWindowState::replace(const shell::PathMapping& mapping) {
  if (mapping.empty() || store->isClosed()) return;
  // A later pair for the same old path wins, as in a map built from the pairs in order. Keyed
  // by location text, as the rows know their items, so the rows are matched without making a
  // Path for each.
  std::unordered_map<std::string, files::Path> newPaths;
  for (const auto& [from, to] : mapping) newPaths.insert_or_assign(from.url().native(), to);

  // How many rows show each old location (a path listed twice has two rows). Only the matching
  // is done on the main thread; the rows are built off it.
  std::unordered_map<std::string, std::size_t> shown;
  onMain([&] {
    for (const auto& row : dataSource->items()) {
      if (newPaths.count(row->location())) ++shown[row->location()];
    }
  });
  if (shown.empty()) return;
  ListWindowDataSource2::Replacements replacements;
  SharedTexts texts;
  for (const auto& [old, count] : shown) {
    const files::Path& to = newPaths.at(old);
    auto& rows = replacements[old];
    for (std::size_t i = 0; i < count; ++i) rows.push_back(PathListItem::make(to, services_->usageEvents, &texts));
  }
  onMain([&] { dataSource->replace(std::move(replacements)); });
}

}  // namespace ml::list

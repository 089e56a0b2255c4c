#pragma once
// The state of one list window's store. A value, but its rows live in the data source it refers
// to (shared by every copy), so a copy kept by a waiting command sees the current rows; the
// selection is always read live from the outline view.
//
// react() runs on the store's queue. It builds rows there (reading the file system) and hands
// every change of the row list to the main thread, waiting for it: the outline reads the rows
// on the main thread, and so the two never race. Rows that leave the list leave the selection
// with them; the rest of the selection stays. Rows of a
// large addition arrive in batches: the first early, then at most one per interval. Once the
// store is closed (its window closed) an addition stops building rows and shows none.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "files/Date.h"
#include "files/Path.h"
#include "list/rows/PathPack.h"
#include "platform/dispatch/Clock.h"
#include "platform/store/Event.h"
#include "shell/core/PathList.h"
#include "shell/core/Telemetry.h"

namespace ml::store {
template <class S>
class Core;
}
namespace ml::appkit {
class OpenPanels;
class Workspace;
}

namespace ml::list {

class ListWindowDataSource2;
class OutlineView;
struct ListWindowState;
using ListStore = store::Core<ListWindowState>;

// What a list window's rows and commands reach of the application, handed over by the window.
// Any of them may be null: nothing is reported, trashed or asked for then (and the log says so).
struct ListServices {
  // Rows report the items they cannot read here.
  std::shared_ptr<shell::UsageEvents> usageEvents;
  // The desktop's workspace. The list's commands need none of it: its Trash goes through the
  // application's trash command, like every window's.
  std::shared_ptr<appkit::Workspace> workspace;
  // Asks the user for items to add.
  std::shared_ptr<appkit::OpenPanels> openPanels;
};

// The store a state belongs to, for work that fires into it after waiting (open panels, the
// Trash): it fires nothing once the store is gone. Attached once by the store's owner, which
// also closes it when its window closes: from then on the list builds and shows no more rows.
class ListStoreReference {
 public:
  void attach(std::weak_ptr<ListStore> store) {
    std::lock_guard lock(mutex_);
    store_ = std::move(store);
  }
  std::weak_ptr<ListStore> weak() const {
    std::lock_guard lock(mutex_);
    return store_;
  }
  // The window is closed: rows still being built for it are not built any more. Any thread.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_.store(true);
    }
    roomMade_.notify_all();
  }
  bool isClosed() const { return closed_.load(); }

  // Paths handed to the list whose rows are not being built yet, so that whoever hands over a
  // long list piece by piece can keep only a piece or two waiting: handOver() counts a piece
  // before it is fired (as an ItemsAddedEvent marked handedOver), the store gives the count
  // back with taken() when it starts on the piece, and waitForRoom() waits while more than
  // `limit` paths wait, until the list closes, or `patience` has passed (a store that cannot go
  // on, as while the application quits, never holds the caller for good). Any thread.
  void handOver(std::size_t count) {
    std::lock_guard lock(mutex_);
    waiting_ += count;
  }
  void taken(std::size_t count) {
    {
      std::lock_guard lock(mutex_);
      waiting_ -= std::min(waiting_, count);
    }
    roomMade_.notify_all();
  }
  void waitForRoom(std::size_t limit, std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    roomMade_.wait_for(lock, patience, [&] { return closed_.load() || waiting_ <= limit; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable roomMade_;
  std::weak_ptr<ListStore> store_;
  std::atomic<bool> closed_ = false;
  std::size_t waiting_ = 0;
};

struct ListWindowState {
  // An empty list; `clock` stamps each event and paces the batches of added rows. It must
  // outlive every copy of the state. `services` is what the rows and commands reach outside.
  explicit ListWindowState(dispatch::Clock& clock = dispatch::Clock::system(), ListServices services = {});

  // The outline showing the rows; null until ListWindowLoadedEvent.
  std::shared_ptr<OutlineView> view;
  // The rows. Never changes, never null.
  std::shared_ptr<ListWindowDataSource2> dataSource;
  // When the last event was applied.
  files::Date lastUpdated;
  // The store this state lives in. Never changes, never null.
  std::shared_ptr<ListStoreReference> store;

  // The locations of the selected rows, in row order; empty before the window loaded. Any thread
  // (off the main thread it waits for the main thread to read the outline).
  std::vector<files::Path> selectedItems() const;

  // ItemsAddedEvent appends rows; ItemsRemovedEvent and the application's ItemsTrashed drop the
  // rows of their items; ItemsRenamed and the application's ItemsMoved replace the rows of their
  // items by fresh rows at the new locations; other events change only lastUpdated.
  void react(const store::Event& event);

  dispatch::Clock& clock() const { return *clock_; }
  const ListServices& services() const { return *services_; }

 private:
  void append(const PathPack& paths);
  void remove(const std::vector<files::Path>& paths);
  void replace(const shell::PathMapping& mapping);

  dispatch::Clock* clock_;
  // Shared by every copy, so a snapshot costs one reference.
  std::shared_ptr<const ListServices> services_;
};

}  // namespace ml::list

#pragma once
// A list window's store as the window makes it (attached to its reference, loaded with an
// outline), over a main loop the test drives and virtual time. The outline is a fake whose
// selection the test sets by row. Qt-free: HeadlessListStoreTest needs no application; the list window
// suites put the fixture over their application fixture instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "list/rows/ListWindowDataSource2.h"
#include "list/state/ListEvents.h"
#include "list/state/ListWindowState.h"
#include "list/state/OutlineView.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/store/Command.h"
#include "platform/store/Core.h"
#include "support/ManualMainLoop.h"
#include "support/TempDir.h"

namespace ml::list::testing {

class FakeOutlineView final : public OutlineView {
 public:
  // As the outline does, a row that left the list leaves the selection.
  std::vector<std::shared_ptr<PathListItem>> selectedItems() const override {
    auto source = rows.lock();
    if (!source) return selection;
    std::vector<std::shared_ptr<PathListItem>> shown;
    for (const auto& row : selection) {
      if (std::find(source->items().begin(), source->items().end(), row) != source->items().end()) shown.push_back(row);
    }
    return shown;
  }
  void deselectAll() override {
    selection.clear();
    ++deselections;
  }
  void beginSheet(const appkit::Alert& alert) override { sheets.push_back(alert); }

  std::vector<std::shared_ptr<PathListItem>> selection;
  std::weak_ptr<ListWindowDataSource2> rows;  // the list's rows, once loaded
  int deselections = 0;
  std::vector<appkit::Alert> sheets;
};

// Keeps the tasks posted to it until the test runs them, on the test's thread.
class HeldQueue final : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  // Runs the tasks held now and those they post; returns how many ran.
  std::size_t runAll() {
    std::size_t ran = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return ran;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++ran;
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

// Runs on the store's queue after everything fired before it.
class Marker final : public store::Command<ListWindowState> {
 public:
  explicit Marker(std::shared_ptr<std::atomic<bool>> done) : done_(std::move(done)) {}
  void execute(const ListWindowState&, ListStore&) override { done_->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> done_;
};

template <class Base>
class ListStoreFixture : public Base {
 protected:
  // Makes the store as the window does, over `services`, and loads it with the fake outline.
  void load(ListServices services = {}) {
    core = std::make_shared<ListStore>(ListWindowState(clock, std::move(services)));
    core->state().store->attach(core);
    view->rows = core->state().dataSource;
    core->fire(ListWindowLoadedEvent(view));
  }
  // Waits until the store has handled everything fired so far, serving the main thread meanwhile.
  void drainStore() {
    auto done = std::make_shared<std::atomic<bool>>(false);
    core->fire(std::make_shared<Marker>(done));
    ASSERT_TRUE(this->waitFor([&] { return done->load(); }));
    this->loop.drain();
  }

  template <class E>
  void fireAndWait(E event) {
    core->fire(std::move(event));
    drainStore();
  }

  std::shared_ptr<ListWindowDataSource2> rows() const { return core->state().dataSource; }

  // The top-level rows' names, in order.
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& row : rows()->items()) result.emplace_back(row->name());
    return result;
  }

  // Selects the top-level rows at these positions, in the order given.
  void select(std::initializer_list<int> positions) {
    view->selection.clear();
    for (int i : positions) view->selection.push_back(rows()->items().at(static_cast<std::size_t>(i)));
  }

  files::Path file(const std::string& relative, const std::string& contents = "x") const {
    return files::Path(dir.write(relative, contents));
  }
  files::Path folder(const std::string& relative) const {
    std::filesystem::create_directories(dir.path() / relative);
    return files::Path(dir.path() / relative);
  }

  test::TempDir dir;
  dispatch::ManualClock clock;
  std::shared_ptr<FakeOutlineView> view = std::make_shared<FakeOutlineView>();
  std::shared_ptr<ListStore> core;
};

// A main loop the test drives, without the application.
class MainLoopTest : public ::testing::Test {
 protected:
  // Serves the main loop until `done` holds (a safety limit, not a timing).
  bool waitFor(const std::function<bool()>& done) { return loop.drainUntil(done, std::chrono::seconds(10)); }

  test::ManualMainLoop loop;
};

class HeadlessListStoreTest : public ListStoreFixture<MainLoopTest> {
 protected:
  HeadlessListStoreTest() { load(); }
};

}  // namespace ml::list::testing

#include "find/ExecuteSearch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#include "find/FindWindowEvents.h"
#include "platform/dispatch/ManualClock.h"
#include "shell/ShellFixture.h"

namespace ml::find {
namespace {

class ExecuteSearchTest : public shell::testing::ShellTest {
 protected:
  ExecuteSearchTest() {
    delegate();
    const char* home = std::getenv("HOME");
    savedHome = home ? std::optional<std::string>(home) : std::nullopt;
    ::setenv("HOME", homeDir.path().c_str(), 1);
    homeDir.write("notes/plan.txt", "");
    homeDir.write("notes/other.md", "");
    homeDir.write("plan.txt", "");
  }
  ~ExecuteSearchTest() override {
    queue.waitUntilAllFinished();
    if (savedHome) ::setenv("HOME", savedHome->c_str(), 1);
    else ::unsetenv("HOME");
  }

  std::shared_ptr<store::Core<FindWindowState>> makeStore(SearchLocation location) {
    FindWindowState initial;
    initial.context = delegate().windowContext();
    initial.location = std::move(location);
    initial.criteria.extension = ExtensionCriterion{"txt", false};
    return std::make_shared<store::Core<FindWindowState>>(initial);
  }
  ExecuteSearch command(const std::shared_ptr<store::Core<FindWindowState>>& core) {
    return ExecuteSearch(core, SearchSettings{&clock, std::chrono::seconds(1), 2}, &queue);
  }

  test::TempDir homeDir;
  std::optional<std::string> savedHome;
  dispatch::ManualClock clock;
  dispatch::OperationQueue queue;
  std::atomic<bool> stopBlocking{false};
};

TEST_F(ExecuteSearchTest, AHomeSearchEndsInANewListOfWhatMatched) {
  auto core = makeStore(SearchLocation::home());
  core->fire(command(core));
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  std::set<std::string> names;
  for (const auto& p : listWindows[0]->items) names.insert(p.url().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"plan.txt"}));
  EXPECT_EQ(listWindows[0]->items.size(), 2u);
  ASSERT_TRUE(waitFor([&] { return !core->state().currentSearch; }));
}

TEST_F(ExecuteSearchTest, UnsearchableLocationsStartNothing) {
  for (auto location : {SearchLocation::local(), SearchLocation::other({files::Path("/tmp")})}) {
    auto core = makeStore(location);
    core->fire(command(core));
    settle();
    EXPECT_FALSE(core->state().currentSearch);
    EXPECT_EQ(queue.operationCount(), 0u);
  }
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(ExecuteSearchTest, StartFolderOfHomeIsTheHomeFolderAndOfRootIsTheRoot) {
  EXPECT_EQ(ExecuteSearch::startFolder(SearchLocation::home())->url(), homeDir.path());
  EXPECT_EQ(ExecuteSearch::startFolder(SearchLocation::root())->url(), std::filesystem::path("/"));
}

TEST_F(ExecuteSearchTest, ASearchWhoseStoreIsGoneFiresNothing) {
  dispatch::OperationQueue paused(dispatch::GlobalPool::shared(), 1);
  paused.add([&](const dispatch::Operation&) {
    // Holds the queue's only slot until the store is gone.
    while (count(listWindows) == 0 && !stopBlocking.load()) std::this_thread::yield();
  });
  {
    auto core = makeStore(SearchLocation::home());
    core->fire(ExecuteSearch(core, SearchSettings{&clock, std::chrono::seconds(1), 2}, &paused));
    settle();
  }
  stopBlocking = true;
  paused.waitUntilAllFinished();
  settle();
  EXPECT_EQ(count(listWindows), 0u);
}

}  // namespace
}  // namespace ml::find

#include "find/FindWindowState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "find/FindWindowEvents.h"
#include "platform/dispatch/MainQueue.h"
#include "shell/ShellFixture.h"

namespace ml::find {
namespace {

using files::Path;

class FindWindowStateTest : public shell::testing::ShellTest {
 protected:
  FindWindowStateTest() {
    services.windowsFrontToBack = [this] {
      ++orderReads;
      if (!dispatch::MainQueue::isMainThread()) orderReadOffMain = true;
      return frontToBack;
    };
    delegate();
  }

  static std::vector<Path> paths(int n) {
    std::vector<Path> out;
    for (int i = 0; i < n; ++i) out.emplace_back("/found/" + std::to_string(i));
    return out;
  }

  // A state with a current search holding `n` results, in arrival order over two batches.
  FindWindowState searching(int n) {
    FindWindowState state;
    state.context = delegate().windowContext();
    state.react(SearchStarted(ActiveSearch{std::make_shared<const std::vector<Path>>(), task}));
    auto all = paths(n);
    state.react(SearchResultsUpdated({all.begin(), all.begin() + n / 2}, true));
    state.react(SearchResultsUpdated({all.begin() + n / 2, all.end()}, true));
    return state;
  }

  std::atomic<int> orderReads{0};
  std::atomic<bool> orderReadOffMain{false};
  std::vector<const void*> frontToBack;  // main thread
  std::shared_ptr<dispatch::Operation> task = dispatch::Operation::make([](const dispatch::Operation&) {});
};

TEST_F(FindWindowStateTest, StartsAtRootWithNoCriteriaAndNewList) {
  FindWindowState state;
  EXPECT_EQ(state.location, SearchLocation::root());
  EXPECT_EQ(state.criteria, SearchDescriptor{});
  EXPECT_EQ(state.resultAction, ResultAction::newList);
  EXPECT_FALSE(state.maxResults);
  EXPECT_FALSE(state.currentSearch);
}

TEST_F(FindWindowStateTest, TerminatingWithResultsCutsToTheFirstMaxResultsInArrivalOrder) {
  auto state = searching(250);
  state.react(MaxResultsUpdated(100));
  state.react(SearchTerminated(true));
  EXPECT_FALSE(state.currentSearch);
  EXPECT_TRUE(task->isCancelled());
  settle();
  ASSERT_EQ(count(listWindows), 1u);
  EXPECT_EQ(listWindows[0]->items, paths(100));
}

TEST_F(FindWindowStateTest, TerminatingWithoutACutDeliversEverything) {
  auto state = searching(30);
  state.react(MaxResultsUpdated(std::nullopt));
  state.react(SearchTerminated(true));
  settle();
  ASSERT_EQ(count(listWindows), 1u);
  EXPECT_EQ(listWindows[0]->items.size(), 30u);
}

TEST_F(FindWindowStateTest, ANegativeCutKeepsEverything) {
  auto state = searching(10);
  state.react(MaxResultsUpdated(-5));
  state.react(SearchTerminated(true));
  settle();
  ASSERT_EQ(count(listWindows), 1u);
  EXPECT_EQ(listWindows[0]->items.size(), 10u);
}

TEST_F(FindWindowStateTest, TerminatingWithoutShowingCancelsAndDeliversNothing) {
  auto state = searching(10);
  state.react(SearchTerminated(false));
  EXPECT_TRUE(task->isCancelled());
  EXPECT_FALSE(state.currentSearch);
  settle();
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(FindWindowStateTest, InfoWindowActionOpensAnInfoWindowOnTermination) {
  auto state = searching(4);
  state.react(ResultActionUpdated(ResultAction::infoWindow));
  state.react(SearchTerminated(true));
  settle();
  EXPECT_EQ(count(infoWindows), 1u);
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(FindWindowStateTest, ASearchEndingByItselfHonoursTheResultActionAndTheCut) {
  // However quickly a search ends, what it delivers is what the result cut would have delivered.
  auto state = searching(4);
  state.react(ResultActionUpdated(ResultAction::infoWindow));
  state.react(MaxResultsUpdated(1));
  state.react(SearchCompleted());
  EXPECT_FALSE(state.currentSearch);
  settle();
  ASSERT_EQ(count(infoWindows), 1u);
  EXPECT_EQ(infoWindows[0]->items, paths(1));
  EXPECT_EQ(count(listWindows), 0u);

  auto listed = searching(250);
  listed.react(MaxResultsUpdated(100));
  listed.react(SearchCompleted());
  listed.react(SearchTerminated(true));  // the cut's own ending, arriving late, finds nothing to end
  settle();
  ASSERT_EQ(count(listWindows), 1u);
  EXPECT_EQ(listWindows[0]->items, paths(100));
  EXPECT_EQ(count(infoWindows), 1u);
}

TEST_F(FindWindowStateTest, ACompletedSearchWithoutResultsOpensNothing) {
  auto state = searching(0);
  state.react(SearchCompleted());
  settle();
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(FindWindowStateTest, ResultsAreDeliveredAtMostOnce) {
  auto state = searching(3);
  state.react(SearchTerminated(true));
  state.react(SearchResultsUpdated(paths(2), true));  // late batch: dropped
  state.react(SearchCompleted());                     // the cancelled operation's end
  EXPECT_FALSE(state.currentSearch);
  settle();
  EXPECT_EQ(count(listWindows), 1u);
}

TEST_F(FindWindowStateTest, EventsOfAReplacedSearchLeaveTheCurrentOneAlone) {
  auto state = searching(2);
  auto newer = dispatch::Operation::make([](const dispatch::Operation&) {});
  state.react(SearchStarted(ActiveSearch{std::make_shared<const std::vector<Path>>(), newer}));
  state.react(SearchResultsUpdated(paths(5), true, task.get()));
  state.react(SearchCompleted(task.get()));
  ASSERT_TRUE(state.currentSearch);
  EXPECT_TRUE(state.currentSearch->paths().empty());
  state.react(SearchResultsUpdated(paths(1), true, newer.get()));
  EXPECT_EQ(state.currentSearch->paths().size(), 1u);
}

TEST_F(FindWindowStateTest, AddToFrontListFallsBackToANewListWhenNoneIsOpen) {
  auto state = searching(3);
  state.react(ResultActionUpdated(ResultAction::addToFrontList));
  state.react(SearchTerminated(true));
  settle();
  ASSERT_EQ(count(listWindows), 1u);
  EXPECT_EQ(listWindows[0]->items.size(), 3u);
}

TEST_F(FindWindowStateTest, AddToFrontListChoosesTheFrontListOnTheMainThread) {
  // The reducer runs on the find store's queue; the window order belongs to the main thread and
  // changes there, so the front list must be chosen there, as the windows stand at delivery.
  auto back = std::make_shared<shell::testing::ListWindow>();
  auto front = std::make_shared<shell::testing::ListWindow>();
  back->identity = &back;
  front->identity = &front;
  delegate().reactor().fire(shell::ApplicationEvents::WindowOpened(back));
  delegate().reactor().fire(shell::ApplicationEvents::WindowOpened(front));
  settle();
  auto state = searching(3);
  state.react(ResultActionUpdated(ResultAction::addToFrontList));
  std::thread storeQueue([&] { state.react(SearchTerminated(true)); });
  storeQueue.join();
  EXPECT_EQ(orderReads, 0);  // nothing of the windows was read off the main thread
  frontToBack = {&front, &back};  // the user brings the other list to the front meanwhile
  settle();
  EXPECT_EQ(orderReads, 1);
  EXPECT_FALSE(orderReadOffMain);
  EXPECT_EQ(front->items, paths(3));
  EXPECT_TRUE(back->items.empty());
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(FindWindowStateTest, CriterionEventsSetAndClearTheCriteria) {
  FindWindowState state;
  state.react(NameCriterionUpdated(true, NameSearchOption::contains({"a"}), true, true));
  ASSERT_TRUE(state.criteria.name);
  EXPECT_TRUE(state.criteria.name->caseSensitive);
  EXPECT_TRUE(state.criteria.name->negate);
  state.react(InvalidRegexPatternEntered());
  EXPECT_TRUE(state.criteria.name);
  state.react(NameCriterionUpdated(false, NameSearchOption::contains({"a"}), true, true));
  EXPECT_FALSE(state.criteria.name);

  state.react(ExtensionCriterionUpdated(true, "txt", true));
  EXPECT_EQ(state.criteria.extension, (ExtensionCriterion{"txt", true}));
  state.react(VisibiltyCriterionUpdated(true, false));
  EXPECT_EQ(state.criteria.invisible, false);
  state.react(VisibiltyCriterionUpdated(false, true));
  EXPECT_FALSE(state.criteria.invisible);
  state.react(PackageCriterionUpdated(true));
  EXPECT_TRUE(state.criteria.includePackageContents);
  state.react(PackageRequirementCriterionUpdated(true, false));
  EXPECT_EQ(state.criteria.isPackage, false);

  state.react(FileKindCriterionUpdate(true, TypeDescriptor::file(files::FileKind::alias, true), false));
  EXPECT_EQ(state.criteria.type, TypeDescriptor::file(files::FileKind::alias, true));
  state.react(FileKindCriterionUpdate(false, TypeDescriptor::directory(), false));
  EXPECT_FALSE(state.criteria.type);
}

TEST_F(FindWindowStateTest, LocationAndResultChoicesAreKept) {
  FindWindowState state;
  state.react(SearchLocationUpdated(SearchLocation::home()));
  state.react(ResultActionUpdated(ResultAction::infoWindow));
  EXPECT_EQ(state.location, SearchLocation::home());
  EXPECT_EQ(state.resultAction, ResultAction::infoWindow);
  EXPECT_FALSE(resultActionFromTag(2));
  EXPECT_EQ(resultActionFromTag(4), ResultAction::infoWindow);
}

}  // namespace
}  // namespace ml::find

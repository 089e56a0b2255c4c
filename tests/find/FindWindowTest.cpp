#include <QLineEdit>
#include <QStandardItemModel>

#include <algorithm>

#include "FindWindowFixture.h"
#include "find/FindWindowEvents.h"
#include "find/WindowEventWatcher.h"
#include "find/rows/ExtensionRow.h"
#include "find/rows/NameRow.h"

namespace ml::find::testing {
namespace {

bool addToFrontListEnabled(QComboBox* popup) {
  auto* model = qobject_cast<QStandardItemModel*>(popup->model());
  return model->item(popup->findData(1))->isEnabled();
}

TEST_F(FindWindowTest, OpeningAnnouncesTheWindowAndTwoWindowsHaveTheirOwnStores) {
  auto first = open();
  auto second = open();
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.size() == 2; }));
  EXPECT_NE(first->core(), second->core());
  // A closed window leaves nothing behind on the global store, which lives for the process.
  std::weak_ptr<WindowEventWatcher> watcher = first->watcher();
  std::weak_ptr<FindWindow> closed = first;
  ASSERT_FALSE(watcher.expired());
  first->window()->close();
  ASSERT_TRUE(waitFor([&] { return delegate().reactor().state().activeWindows.size() == 1; }));
  std::erase(windows, first);
  first.reset();
  settle();
  EXPECT_TRUE(closed.expired());
  EXPECT_TRUE(watcher.expired());
  EXPECT_FALSE(second->watcher().expired());
}

TEST_F(FindWindowTest, AddToFrontListIsEnabledOnlyWhileAListWindowIsOpen) {
  auto window = open();
  QComboBox* popup = window->window()->resultActionPopup();
  EXPECT_FALSE(addToFrontListEnabled(popup));
  auto list = std::make_shared<shell::testing::ListWindow>();
  delegate().reactor().fire(shell::ApplicationEvents::WindowOpened(list));
  ASSERT_TRUE(waitFor([&] { return addToFrontListEnabled(popup); }));
  choose(popup, popup->findData(1));
  delegate().reactor().fire(shell::ApplicationEvents::WindowClosed(list));
  ASSERT_TRUE(waitFor([&] { return !addToFrontListEnabled(popup); }));
  EXPECT_EQ(popup->currentIndex(), 0);
}

TEST_F(FindWindowTest, PopupsAndSegmentsFireTheirEvents) {
  auto window = open();
  choose(window->window()->resultActionPopup(), 2);
  choose(window->window()->resultSizePopup(), window->window()->resultSizePopup()->findData(50));
  window->window()->locationSegment(2)->click();
  ASSERT_TRUE(waitForState(*window, [](const auto& s) {
    return s.resultAction == ResultAction::infoWindow && s.maxResults == 50 && s.location == SearchLocation::home();
  }));
  // The places that cannot be searched cannot be chosen, and say so.
  for (int segment : {0, 3}) {
    QPushButton* unsearchable = window->window()->locationSegment(segment);
    EXPECT_FALSE(unsearchable->isEnabled());
    EXPECT_FALSE(unsearchable->toolTip().isEmpty());
    QTest::mouseClick(unsearchable, Qt::LeftButton);
  }
  choose(window->window()->resultSizePopup(), 0);
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return !s.maxResults; }));
  EXPECT_EQ(window->core()->state().location, SearchLocation::home());
  EXPECT_TRUE(window->window()->searchButton()->isEnabled());
  // A state holding such a place anyway offers no Search that would do nothing.
  window->core()->fire(SearchLocationUpdated(SearchLocation::local()));
  ASSERT_TRUE(waitFor([&] { return !window->window()->searchButton()->isEnabled(); }));
  EXPECT_EQ(window->window()->searchButton()->toolTip(), FindWindowView::unsearchableLocationTip());
  window->window()->locationSegment(1)->click();
  ASSERT_TRUE(waitFor([&] { return window->window()->searchButton()->isEnabled(); }));
}

// First a search that finds nothing: it opens nothing, and the window says so until the next.
TEST_F(FindWindowTest, ASearchOfHomeShowsTheSheetAndEndsInANewList) {
  homeDir.write("docs/plan.txt", "");
  auto window = open();
  QLabel* outcome = window->window()->searchOutcomeLabel();
  window->window()->locationSegment(2)->click();
  window->extensionRow()->valueField->setText("none");
  window->extensionRow()->enabledCheckbox->setChecked(true);
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return s.criteria.extension && s.location == SearchLocation::home(); }));
  window->window()->searchButton()->click();
  ASSERT_TRUE(waitFor([&] { return outcome->isVisibleTo(window->window()); }));
  const QString home = QString::fromStdString(homeDir.path().filename().string());
  EXPECT_EQ(outcome->text(), QString("No items matching the criteria were found in \"%1\".").arg(home));
  window->extensionRow()->valueField->setText("txt");
  window->extensionRow()->enabledCheckbox->setChecked(false);
  window->extensionRow()->enabledCheckbox->setChecked(true);
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return s.criteria.extension && s.criteria.extension->value == "txt"; }));
  window->window()->searchButton()->click();
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  EXPECT_FALSE(outcome->isVisibleTo(window->window()));
  ASSERT_EQ(listWindows[0]->items.size(), 1u);
  EXPECT_EQ(listWindows[0]->items[0].url(), homeDir.path() / "docs/plan.txt");
  const QString expected = QString("Searching \"%1\"").arg(QString::fromStdString(homeDir.path().filename().string()));
  EXPECT_EQ(window->window()->progressSearchLocation()->text(), expected);
  ASSERT_TRUE(waitFor([&] { return !window->progressShowing(); }));
}

TEST_F(FindWindowTest, TheResultCutEndsTheSearchWithTheFirstResults) {
  auto window = open();
  choose(window->window()->resultSizePopup(), window->window()->resultSizePopup()->findData(10));
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return s.maxResults == 10; }));
  auto task = dispatch::Operation::make([](const dispatch::Operation&) {});
  window->core()->fire(SearchStarted(ActiveSearch{std::make_shared<const std::vector<files::Path>>(), task}));
  std::vector<files::Path> batch;
  for (int i = 0; i < 25; ++i) batch.emplace_back("/r/" + std::to_string(i));
  window->core()->fire(SearchResultsUpdated(batch, true));
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  EXPECT_EQ(listWindows[0]->items, std::vector<files::Path>(batch.begin(), batch.begin() + 10));
  EXPECT_TRUE(task->isCancelled());
  EXPECT_FALSE(window->progressShowing());
}

TEST_F(FindWindowTest, CancellingTheSheetDeliversNothing) {
  auto window = open();
  auto task = dispatch::Operation::make([](const dispatch::Operation&) {});
  window->core()->fire(SearchStarted(ActiveSearch{std::make_shared<const std::vector<files::Path>>(), task}));
  window->core()->fire(SearchResultsUpdated({files::Path("/a")}, true));
  ASSERT_TRUE(waitFor([&] { return window->progressShowing(); }));
  window->window()->cancelSearchButton()->click();
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return !s.currentSearch; }));
  settle();
  EXPECT_TRUE(task->isCancelled());
  EXPECT_EQ(count(listWindows), 0u);
  EXPECT_FALSE(window->progressShowing());

  // Closing the window while it searches stops the search and delivers nothing either.
  auto running = dispatch::Operation::make([](const dispatch::Operation&) {});
  window->core()->fire(SearchStarted(ActiveSearch{std::make_shared<const std::vector<files::Path>>(), running}));
  window->core()->fire(SearchResultsUpdated({files::Path("/b")}, true));
  ASSERT_TRUE(waitFor([&] { return window->progressShowing(); }));
  window->window()->close();
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return !s.currentSearch; }));
  settle();
  EXPECT_TRUE(running->isCancelled());
  EXPECT_EQ(count(listWindows), 0u);
}

TEST_F(FindWindowTest, ANameTypedJustBeforeSearchIsSearchedAndTheSegmentsShowThePlaceSearched) {
  homeDir.write("notes.txt", "");
  homeDir.write("docs/txt-guide.md", "");
  homeDir.write("docs/plan.pdf", "");
  homeDir.write("music/song.ogg", "");
  auto window = open();
  FindWindowView* view = window->window();
  view->locationSegment(2)->click();
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return s.location == SearchLocation::home(); }));
  // "Other…" has nothing to search: the home segment stays the checked one.
  view->locationSegment(3)->click();
  settle();
  EXPECT_TRUE(view->locationSegment(2)->isChecked());
  EXPECT_FALSE(view->locationSegment(3)->isChecked());

  // Tick, type and search at once: typing has not settled (a second) when the search starts.
  QTest::mouseClick(window->nameRow()->enabledCheckbox, Qt::LeftButton, {}, QPoint(4, 4));
  QTest::keyClicks(window->nameRow()->valueCombomBox->lineEdit(), "txt");
  QTest::mouseClick(view->searchButton(), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  std::vector<std::string> names;
  for (const auto& item : listWindows[0]->items) names.push_back(item.url().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"notes.txt", "txt-guide.md"}));

  // A search ending at once still honours the result choice and the cut: one Info window, one item.
  choose(view->resultActionPopup(), view->resultActionPopup()->findData(4));
  choose(view->resultSizePopup(), view->resultSizePopup()->findData(1));
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return s.maxResults == 1; }));
  QTest::mouseClick(view->searchButton(), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  ASSERT_TRUE(waitForState(*window, [](const auto& s) { return !s.currentSearch; }));
  settle();
  EXPECT_EQ(count(infoWindows), 1u);
  EXPECT_EQ(infoWindows[0]->items.size(), 1u);
  EXPECT_EQ(count(listWindows), 1u);

  // A state that searches the root shows the root segment, whatever was clicked last.
  view->locationSegment(3)->click();
  window->core()->fire(SearchLocationUpdated(SearchLocation::root()));
  ASSERT_TRUE(waitFor([&] { return view->locationSegment(1)->isChecked(); }));
  EXPECT_FALSE(view->locationSegment(3)->isChecked());
}

TEST_F(FindWindowTest, TheFactoryMakesFindWindows) {
  shell::WindowFactories factories;
  const shell::WindowContext context = delegate().windowContext();
  installFindWindow(factories, context);
  ASSERT_TRUE(factories.find);
  EXPECT_NE(std::dynamic_pointer_cast<FindWindow>(factories.find()), nullptr);
}

}  // namespace
}  // namespace ml::find::testing

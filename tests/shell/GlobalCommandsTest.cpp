#include "shell/GlobalCommands.h"

#include <QCursor>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "ShellFixture.h"
#include "appkit/DesktopWorkspace.h"
#include "appkit/FinderScripts.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/store/Middleware.h"
#include "platform/store/Subscriber.h"
#include "rename/mover/RenameFailure.h"
#include "shell/MenuCommand.h"
#include "support/CaseInsensitiveVolume.h"
#include "support/FileFixtures.h"

namespace ml::shell {
namespace {

namespace fs = std::filesystem;

using testing::ShellTest;
using testing::WindowState;
using Global = GlobalCommands<GlobalState>;
using OnWindow = GlobalCommands<WindowState>;

class GlobalCommandsTest : public ShellTest {
 protected:
  GlobalCommandsTest() { delegate(); }

  store::Core<GlobalState>& global() { return delegate().reactor(); }

  test::TempDir files_;
};

// Show info ------------------------------------------------------------------------------------

TEST_F(GlobalCommandsTest, ShowInfoWithItemsOpensOneInfoWindowWithThem) {
  std::vector<files::Path> items = {path("/tmp/a"), path("/tmp/b")};
  global().fire(Global::fileInfo(items));
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, items);
  EXPECT_TRUE(infoWindows[0]->shown);
}

TEST_F(GlobalCommandsTest, ShowInfoWithoutItemsAsksWithTheSeveralItemsPanel) {
  global().fire(MenuCommand::fileInfo());
  ASSERT_TRUE(waitFor([&] { return panels->count() == 1; }));
  auto request = panels->request(0);
  EXPECT_EQ(request.kind, testing::FakeOpenPanels::Request::Kind::files);
  EXPECT_TRUE(request.allowDirectories);
  EXPECT_TRUE(request.allowFiles);

  panels->choose(0, {"/tmp/first", "/tmp/second"});
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, (std::vector<files::Path>{path("/tmp/first"), path("/tmp/second")}));
}

TEST_F(GlobalCommandsTest, ShowInfoTwiceWithBothPanelsCancelledOpensNothing) {
  global().fire(MenuCommand::fileInfo());
  global().fire(MenuCommand::fileInfo());
  ASSERT_TRUE(waitFor([&] { return panels->count() == 2; }));
  settle();
  EXPECT_EQ(count(infoWindows), 0u);
}

TEST_F(GlobalCommandsTest, PresentButEmptyItemsOpenNoWindowButAnEmptyList) {
  global().fire(Global::fileInfo(std::vector<files::Path>{}));
  global().fire(Global::list(std::vector<files::Path>{}));
  global().fire(Global::trash(std::vector<files::Path>{}));
  global().fire(Global::reveal(std::vector<files::Path>{}));
  global().fire(Global::copy(std::vector<files::Path>{}));
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 1; }));
  settle();
  EXPECT_EQ(count(infoWindows), 0u);
  EXPECT_TRUE(listWindows[0]->items.empty());
  EXPECT_TRUE(listWindows[0]->shown);
  EXPECT_EQ(panels->count(), 0u);
  EXPECT_TRUE(workspace->recycled.empty());
  EXPECT_TRUE(workspace->revealed.empty());
}

TEST_F(GlobalCommandsTest, WindowStoreActsOnItsSelectionWhenGivenNoItems) {
  WindowState state;
  state.selection = {path("/tmp/selected")};
  store::Core<WindowState> window(state);
  window.fire(OnWindow::fileInfo());
  window.fire(OnWindow::reveal());
  ASSERT_TRUE(waitFor([&] { return count(infoWindows) == 1; }));
  EXPECT_EQ(infoWindows[0]->items, state.selection);
  settle();
  ASSERT_EQ(workspace->revealed.size(), 1u);
  EXPECT_EQ(workspace->revealed[0], (std::vector<fs::path>{"/tmp/selected"}));
}

TEST_F(GlobalCommandsTest, MissingInfoWindowIsReportedToTheUser) {
  services.windows.info = nullptr;
  AppDelegate other(services);
  other.reactor().fire(Global::fileInfo(std::vector<files::Path>{path("/tmp/a")}));
  ASSERT_TRUE(waitFor([&] { return !alerts->shown().empty(); }));
  EXPECT_EQ(alerts->shown()[0].messageText, "The Info window is not available yet.");
}

// File manager's information window ---------------------------------------------------------------

TEST_F(GlobalCommandsTest, FinderInfoSendsOneExactScriptPerItem) {
  fs::create_directory(files_.path() / "folder");
  auto file = files_.write("quote\"back\\slash.txt", "");
  global().fire(Global::finderInfo(std::vector<files::Path>{path(files_.path() / "folder"), path(file)}));
  ASSERT_TRUE(waitFor([&] { return scripts->sources().size() == 2; }));
  EXPECT_EQ(scripts->sources()[0], "tell application \"Finder\" to open information window of folder (POSIX file \"" +
                                       (files_.path() / "folder").string() + "\")");
  EXPECT_EQ(scripts->sources()[1], "tell application \"Finder\" to open information window of file (POSIX file \"" +
                                       files_.path().string() + "/quote\\\"back\\\\slash.txt\")");
}

// Open, list, find, preferences ---------------------------------------------------------------------

TEST_F(GlobalCommandsTest, OpenWithoutItemsOpensNothing) {
  global().fire(Global::open());
  global().fire(Global::open(std::vector<files::Path>{path("/tmp/a")}, "viewer"));
  settle();
  ASSERT_EQ(workspace->opened.size(), 1u);
  EXPECT_EQ(workspace->opened[0].first, "/tmp/a");
  EXPECT_EQ(workspace->opened[0].second, "viewer");
}

TEST_F(GlobalCommandsTest, NewListHoldsTheGivenItemsOrNone) {
  std::vector<files::Path> items = {path("/tmp/a"), path("/tmp/b")};
  global().fire(MenuCommand::list(items));
  global().fire(MenuCommand::list());
  ASSERT_TRUE(waitFor([&] { return count(listWindows) == 2; }));
  EXPECT_EQ(listWindows[0]->items, items);
  EXPECT_TRUE(listWindows[1]->items.empty());
  EXPECT_TRUE(listWindows[1]->shown);
}

TEST_F(GlobalCommandsTest, EachFindCommandOpensAnotherFindWindow) {
  global().fire(Global::showSearch());
  global().fire(Global::showSearch());
  ASSERT_TRUE(waitFor([&] { return count(findWindows) == 2; }));
  EXPECT_NE(findWindows[0], findWindows[1]);
}

TEST_F(GlobalCommandsTest, PreferencesWindowIsAnnouncedOnTheGlobalStoreAndShown) {
  global().fire(MenuCommand::preferences());
  ASSERT_TRUE(waitFor([&] { return global().state().activeWindows.size() == 1; }));
  ASSERT_EQ(count(preferencesWindows), 1u);
  EXPECT_TRUE(preferencesWindows[0]->shown);
  EXPECT_EQ(usage->events().size(), 1u);
}

// Copy ---------------------------------------------------------------------------------------------

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CopyMoveTest : public GlobalCommandsTest {
 protected:
  // The store that runs the command, recording what it receives.
  store::Core<WindowState> window{WindowState{}};

  fs::path folder(const std::string& name) {
    fs::create_directories(files_.path() / name);
    return files_.path() / name;
  }
  void chooseFolder(const fs::path& chosen) {
    ASSERT_TRUE(waitFor([&] { return panels->count() == 1; }));
    EXPECT_EQ(panels->request(0).kind, testing::FakeOpenPanels::Request::Kind::directory);
    panels->choose(0, {chosen});
  }
};

TEST_F(CopyMoveTest, CopyAnnouncesTheCopiesMade) {
  auto source = files_.write("from/a.txt", "a");
  auto target = folder("to");
  window.fire(OnWindow::copy(std::vector<files::Path>{path(source)}));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return !window.state().copied.empty(); }));
  EXPECT_EQ(window.state().copied[0], (PathMapping{{path(source), path(target / "a.txt")}}));
  EXPECT_TRUE(fs::exists(target / "a.txt"));
  EXPECT_TRUE(alerts->shown().empty());
}

TEST_F(CopyMoveTest, CopyOntoItselfAsksAndContinueCopiesOnlyTheOthers) {
  auto here = files_.write("here/a.txt", "a");
  auto other = files_.write("there/b.txt", "b");
  window.fire(OnWindow::copy(std::vector<files::Path>{path(here), path(other)}));
  chooseFolder(files_.path() / "here");
  ASSERT_TRUE(waitFor([&] { return !window.state().copied.empty(); }));

  ASSERT_EQ(alerts->shown().size(), 1u);
  auto alert = alerts->shown()[0];
  EXPECT_EQ(alert.messageText, "At least one of the items copied would be copying over itself.");
  EXPECT_EQ(alert.informativeText,
            "You can skip those items and continue copying the rest, or cancel copying all items.");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Continue Copying", "Cancel"}));
  EXPECT_EQ(alert.style, appkit::Alert::Style::warning);
  EXPECT_TRUE(alert.applicationIcon);
  EXPECT_EQ(window.state().copied[0], (PathMapping{{path(other), path(files_.path() / "here/b.txt")}}));
}

TEST_F(CopyMoveTest, CopyOntoItselfCancelledCopiesNothing) {
  auto here = files_.write("here/a.txt", "a");
  auto other = files_.write("there/b.txt", "b");
  alerts->answer(appkit::kFirstButtonReturn + 1);
  window.fire(OnWindow::copy(std::vector<files::Path>{path(here), path(other)}));
  chooseFolder(files_.path() / "here");
  ASSERT_TRUE(waitFor([&] { return alerts->shown().size() == 1; }));
  settle();
  EXPECT_FALSE(fs::exists(files_.path() / "here/b.txt"));
  EXPECT_TRUE(window.state().copied.empty());
}

TEST_F(CopyMoveTest, CopyThatFailsForSomeItemsNamesThemAndAnnouncesTheRest) {
  auto good = files_.write("from/good.txt", "g");
  auto taken = files_.write("from/taken.txt", "new");
  auto target = folder("to");
  std::ofstream(target / "taken.txt") << "old";  // copies never replace an item
  window.fire(OnWindow::copy(std::vector<files::Path>{path(good), path(taken), path(files_.path() / "from/gone")}));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return !alerts->shown().empty(); }));

  auto alert = alerts->shown()[0];
  EXPECT_EQ(alert.messageText, "Some items could not be copied.");
  EXPECT_NE(alert.informativeText.find("\u201Ctaken.txt\u201D"), std::string::npos) << alert.informativeText;
  EXPECT_NE(alert.informativeText.find("\u201Cgone\u201D"), std::string::npos);
  EXPECT_EQ(alert.informativeText.find("good.txt"), std::string::npos);
  ASSERT_TRUE(waitFor([&] { return !window.state().copied.empty(); }));
  EXPECT_EQ(window.state().copied[0], (PathMapping{{path(good), path(target / "good.txt")}}));
}

TEST_F(CopyMoveTest, ItemGivenTwiceIsCopiedOnce) {
  auto source = files_.write("from/a.txt", "a");
  auto target = folder("to");
  window.fire(OnWindow::copy(std::vector<files::Path>{path(source), path(source)}));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return !window.state().copied.empty(); }));
  EXPECT_EQ(window.state().copied[0].size(), 1u);
  EXPECT_TRUE(alerts->shown().empty());
}

// A retried copy of a big selection: every item fails (its name is taken) and one is given twice.
// The user gets one alert naming a few and counting the rest, the log one line.
TEST_F(CopyMoveTest, ManyFailuresGiveOneBoundedAlertAndOneLogLine) {
  constexpr int kItems = 2000;
  auto target = folder("to");
  std::vector<files::Path> items;
  for (int i = 0; i < kItems; ++i) {
    const std::string name = "f" + std::to_string(i);
    items.push_back(path(files_.write("from/" + name, "x")));
    std::ofstream(target / name) << "taken";
  }
  items.push_back(items.front());
  test::LogCapture log;
  window.fire(OnWindow::copy(items));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return !alerts->shown().empty(); }));
  settle();

  ASSERT_EQ(alerts->shown().size(), 1u);
  const auto alert = alerts->shown()[0];
  EXPECT_EQ(alert.messageText, "Some items could not be copied.");
  const auto& text = alert.informativeText;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
  EXPECT_EQ(text.substr(0, text.find('\n')), "\u201Cf0\u201D: File exists");
  EXPECT_TRUE(text.ends_with("\nand " + commands::countText(kItems - 5) + " more.")) << text;
  EXPECT_TRUE(window.state().copied.empty());
  const std::string logged = log.text();
  std::size_t lines = 0;
  for (auto at = logged.find("failed to copy"); at != std::string::npos; at = logged.find("failed to copy", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u);
  EXPECT_NE(logged.find("failed to copy 2000 of 2000 items. source=" + items[0].description()), std::string::npos);
  EXPECT_NE(logged.find("; and 1997 more"), std::string::npos);
  EXPECT_LT(logged.size(), 200u * 1000u) << "the log grows with the items";
}

// A FAT stick keeps no extended attributes: a file and a folder that carry user attributes
// arrive without them, and the user is told which; a move across to it does the same.
TEST_F(CopyMoveTest, OntoAVolumeWithoutUserAttributesItemsArriveAndTheLossIsNamed) {
  test::CaseInsensitiveVolume stick;
  if (!stick.mounted()) GTEST_SKIP() << stick.skipReason();
  auto tagged = files_.write("from/tagged.txt", "downloaded");
  ASSERT_EQ(::setxattr(tagged.c_str(), "user.xdg.origin.url", "https://example.org/", 20, 0), 0);
  auto album = folder("from/album");
  auto inside = files_.write("from/album/inside.txt", "in");
  ASSERT_EQ(::setxattr(inside.c_str(), "user.xdg.comment", "a comment", 9, 0), 0);
  ASSERT_EQ(::setxattr(inside.c_str(), "user.com.apple.FinderInfo", "12345678", 8, 0), 0);
  ASSERT_EQ(::setxattr(album.c_str(), "user.xdg.comment", "folder", 6, 0), 0);

  window.fire(OnWindow::copy(std::vector<files::Path>{path(tagged), path(album)}));
  chooseFolder(stick.root());
  ASSERT_TRUE(waitFor([&] { return !window.state().copied.empty() && !alerts->shown().empty(); })) << stick.how();
  EXPECT_EQ(window.state().copied[0], (PathMapping{{path(tagged), path(stick.root() / "tagged.txt")},
                                                   {path(album), path(stick.root() / "album")}}));
  EXPECT_EQ(contentsOf(stick.root() / "tagged.txt"), "downloaded");
  EXPECT_EQ(contentsOf(stick.root() / "album/inside.txt"), "in");
  auto alert = alerts->shown()[0];
  EXPECT_EQ(alert.messageText, "Some items were copied without attributes the destination cannot keep.");
  EXPECT_EQ(alert.informativeText,
            "\u201Ctagged.txt\u201D: download address\n"
            "\u201Calbum/inside.txt\u201D: comment, type, creator and flags\n"
            "\u201Calbum\u201D: comment")
      << alert.informativeText;

  auto moving = files_.write("from/moving.txt", "moved");
  ASSERT_EQ(::setxattr(moving.c_str(), "user.xdg.origin.url", "u", 1, 0), 0);
  window.fire(OnWindow::move(std::vector<files::Path>{path(moving)}));
  ASSERT_TRUE(waitFor([&] { return panels->count() == 2; }));
  panels->choose(1, {stick.root()});
  ASSERT_TRUE(waitFor([&] { return !window.state().moved.empty() && alerts->shown().size() == 2; }));
  EXPECT_FALSE(fs::exists(moving));
  EXPECT_EQ(contentsOf(stick.root() / "moving.txt"), "moved");
  EXPECT_EQ(alerts->shown()[1].messageText, "Some items were moved without attributes the destination cannot keep.");
}

// Quitting while a copy is under way lets it finish, with a notice in front of the windows; the
// cursor shows the application at work meanwhile.
TEST_F(CopyMoveTest, QuitWaitsForACopyUnderWayAndSaysSoAndTheCursorShowsTheWork) {
  constexpr int kItems = 2000;
  std::vector<files::Path> items;
  for (int i = 0; i < kItems; ++i) items.push_back(path(files_.write("from/f" + std::to_string(i), "x")));
  auto target = folder("to");
  window.fire(OnWindow::copy(items));
  ASSERT_TRUE(waitFor([&] { return panels->count() == 1; }));
  std::thread user([&] { panels->choose(0, {target}); });  // the copy runs on this thread
  while (delegate().fileWork()->progress().commands == 0) std::this_thread::yield();
  delegate().willTerminate();
  EXPECT_EQ(delegate().fileWork()->progress().commands, 0u);
  std::size_t copies = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(target)) ++copies;
  EXPECT_EQ(copies, static_cast<std::size_t>(kItems));
  user.join();
  ASSERT_EQ(alerts->notices().size(), 1u);
  EXPECT_EQ(alerts->notices()[0].first.messageText, "Finishing work on items before quitting\u2026");
  EXPECT_TRUE(alerts->notices()[0].second.ends_with(" of " + commands::countText(kItems) + " items done."))
      << alerts->notices()[0].second;

  // The busy cursor shows while any work on items is held, and goes with the last of it.
  settle();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    FileWorkInProgress::Hold trash(delegate().fileWork(), 1);
    settle();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
  }
  settle();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Every item of `folder` has the size of the item of that name in `from`, and is not a half-made
// copy; answers how many there are.
std::size_t wholeCopiesIn(const fs::path& folder, const fs::path& from) {
  std::size_t copies = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++copies;
    EXPECT_EQ(fs::file_size(entry.path()), fs::file_size(from / entry.path().filename())) << entry.path();
  }
  return copies;
}

// The quit notice offers to stop. Its Stop (or its window's close) ends the copy after the item in
// progress; a second termination signal meanwhile gives that item up too, removing its partial
// copy. Either way every item in the destination is whole, the rest were never begun, the sources
// are all there, the log says how many were left, and no alert holds the quit up.
TEST_F(CopyMoveTest, QuitNoticeStopsACopyLeavingEveryItemWholeOrNotBegun) {
  constexpr std::size_t kItems = 400;
  const std::string big(48 << 20, 'b');
  std::vector<files::Path> items{path(files_.write("from/0 big", big))};
  for (std::size_t i = 1; i < kItems; ++i) items.push_back(path(files_.write("from/f" + std::to_string(i), std::string(4096, 'x'))));
  const fs::path from = files_.path() / "from";
  for (const bool atOnce : {false, true}) {
    SCOPED_TRACE(atOnce ? "stopped at once" : "stopped after the item in progress");
    const auto target = folder(atOnce ? "to-at-once" : "to");
    const std::size_t panel = panels->count();
    // The user answers once the big item is in progress (its copy has been begun).
    alerts->onNotice = [&](const appkit::AlertPresenter::Stop& stop) {
      ASSERT_TRUE(stop);
      while (!fs::exists(target / "0 big") && delegate().fileWork()->progress().commands > 0) std::this_thread::yield();
      stop();
      if (atOnce) delegate().stopFileWorkNow();
    };
    test::LogCapture log;
    window.fire(OnWindow::copy(items));
    ASSERT_TRUE(waitFor([&] { return panels->count() == panel + 1; }));
    std::thread user([&] { panels->choose(panel, {target}); });  // the copy runs on this thread
    while (delegate().fileWork()->progress().commands == 0) std::this_thread::yield();
    delegate().willTerminate();
    user.join();
    EXPECT_EQ(delegate().fileWork()->progress().commands, 0u);
    EXPECT_EQ(delegate().fileWork()->stopRequested(), FileWorkInProgress::Stop::none) << "a stop outlived its work";

    const std::size_t copies = wholeCopiesIn(target, from);
    // Stopped after the item in progress, the big one is there whole (checked above).
    if (!atOnce) {
      EXPECT_TRUE(fs::exists(target / "0 big"));
    }
    const std::size_t sources = std::distance(fs::directory_iterator(from), fs::directory_iterator());
    EXPECT_EQ(sources, kItems);
    const std::string logged = log.text();
    if (copies < kItems) {
      const auto at = logged.find("copy stopped before it was complete; ");
      ASSERT_NE(at, std::string::npos) << logged;
      std::size_t left = std::stoul(logged.substr(at + 37));
      // Given up at once, the big item in progress counts as a failure, not as left alone.
      EXPECT_GE(copies + left, kItems - (atOnce ? 1 : 0));
      EXPECT_LE(copies + left, kItems);
    }
    ASSERT_FALSE(alerts->notices().empty());
    EXPECT_EQ(alerts->notices().back().first.buttons, (std::vector<std::string>{"Stop"}));
    settle();
    EXPECT_TRUE(alerts->shown().empty()) << "an alert held up a quit that was told not to wait";
    alerts->onNotice = nullptr;
  }
}

// Names in the alerts of copies, moves and trashes show their control characters and break where
// they are long; what "and N more." leaves out is under the details; what went wrong is in words.
TEST_F(CopyMoveTest, AlertsShowNamesVisibleAndBreakableAndTheWholeListUnderTheDetails) {
  const std::string newline = "new\nline.txt";
  const std::string longName = std::string(251, 'n') + ".txt";
  auto target = folder("to");
  std::vector<files::Path> items;
  for (const std::string& name : {newline, longName, std::string("c"), std::string("d"), std::string("e"),
                                  std::string("f"), std::string("g")}) {
    items.push_back(path(files_.write("from/" + name, "new")));
    std::ofstream(target / name) << "taken";
  }
  window.fire(OnWindow::copy(items));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return alerts->shown().size() == 1; }));
  auto alert = alerts->shown()[0];
  const std::string& text = alert.informativeText;
  EXPECT_EQ(text.substr(0, text.find('\n')), "\u201Cnew\u21B5line.txt\u201D: File exists") << text;
  const std::string breakableLong = rename::breakableText(longName);
  EXPECT_NE(text.find("\u201C" + breakableLong + "\u201D"), std::string::npos) << text;
  EXPECT_NE(breakableLong, longName);
  EXPECT_TRUE(text.ends_with("\nand 2 more.")) << text;
  EXPECT_NE(alert.detailText.find("\u201Cg\u201D: File exists"), std::string::npos) << alert.detailText;
  EXPECT_NE(alert.detailText.find("\u201C" + longName + "\u201D"), std::string::npos) << "the details keep names whole";
  EXPECT_EQ(std::count(alert.detailText.begin(), alert.detailText.end(), '\n'), 6) << alert.detailText;

  // A folder into itself, and a move into a folder whose name holds a newline.
  auto tree = folder("tree");
  window.fire(OnWindow::copy(std::vector<files::Path>{path(tree)}));
  ASSERT_TRUE(waitFor([&] { return panels->count() == 2; }));
  panels->choose(1, {folder("tree/inner")});
  ASSERT_TRUE(waitFor([&] { return alerts->shown().size() == 2; }));
  EXPECT_EQ(alerts->shown()[1].informativeText, "\u201Ctree\u201D: a folder cannot be copied into itself");
  EXPECT_TRUE(alerts->shown()[1].detailText.empty());
  auto odd = folder("odd\nbox");
  std::ofstream(odd / "a") << "";
  window.fire(OnWindow::move(std::vector<files::Path>{path(odd / "a")}));
  ASSERT_TRUE(waitFor([&] { return panels->count() == 3; }));
  panels->choose(2, {odd});
  ASSERT_TRUE(waitFor([&] { return alerts->shown().size() == 3; }));
  EXPECT_EQ(alerts->shown()[2].messageText, "No items needed to be moved to \"odd\u21B5box\"");

  // A trash that took two of seven items.
  std::vector<fs::path> given;
  for (const auto& item : items) given.push_back(item.url());
  alert = commands::trashFailureAlert(given, {given[2], given[3]},
                                      foundation::Error::posix(EROFS, "cannot trash items on a read-only volume"));
  EXPECT_EQ(alert.messageText, "Some items could not be moved to the Trash.");
  EXPECT_TRUE(alert.informativeText.starts_with("\u201Cnew\u21B5line.txt\u201D\n\u201C" + breakableLong + "\u201D\n"))
      << alert.informativeText;
  EXPECT_TRUE(alert.informativeText.ends_with(
      "\n\u201Cg\u201D\n\ncannot trash items on a read-only volume: Read-only file system"))
      << alert.informativeText;
  EXPECT_TRUE(alert.detailText.empty()) << "five items are all named";
  given.push_back(files_.path() / "from/h");
  alert = commands::trashFailureAlert(given, {}, foundation::Error::posix(EROFS));
  EXPECT_NE(alert.informativeText.find("\nand 3 more.\n\n"), std::string::npos) << alert.informativeText;
  EXPECT_EQ(std::count(alert.detailText.begin(), alert.detailText.end(), '\n'), 7) << alert.detailText;
}

// Move ---------------------------------------------------------------------------------------------

TEST_F(CopyMoveTest, MoveOfItemsAlreadyThereSaysSoAndFiresNothing) {
  auto a = files_.write("box/a", "");
  window.fire(OnWindow::move(std::vector<files::Path>{path(a)}));
  chooseFolder(files_.path() / "box");
  ASSERT_TRUE(waitFor([&] { return !alerts->shown().empty(); }));
  auto alert = alerts->shown()[0];
  EXPECT_EQ(alert.messageText, "No items needed to be moved to \"box\"");
  EXPECT_EQ(alert.style, appkit::Alert::Style::informational);
  EXPECT_TRUE(alert.buttons.empty());
  settle();
  EXPECT_TRUE(window.state().moved.empty());
}

// What the global store passed on of moves (list windows follow items through it).
class GlobalMoves final : public store::Middleware<GlobalState> {
 public:
  void process(const store::Event& event, const GlobalState&) override {
    std::lock_guard lock(mutex_);
    if (auto* moved = event.as<ItemsMoved>()) moved_.push_back(moved->items);
  }
  std::vector<PathMapping> moved() {
    std::lock_guard lock(mutex_);
    return moved_;
  }

 private:
  std::mutex mutex_;
  std::vector<PathMapping> moved_;
};

// The window that asked and the global store both learn of the two moves made (so a list showing
// the items follows them, whichever window moved them).
TEST_F(CopyMoveTest, MoveWhereOneOfThreeFailsAnnouncesTheOtherTwo) {
  auto a = files_.write("from/a", "");
  auto b = files_.write("from/b", "");
  auto target = folder("to");
  auto globalMoves = std::make_shared<GlobalMoves>();
  auto detach = global().add(globalMoves);
  window.fire(OnWindow::move(std::vector<files::Path>{path(a), path(files_.path() / "from/missing"), path(b)}));
  chooseFolder(target);
  ASSERT_TRUE(waitFor([&] { return !window.state().moved.empty() && !globalMoves->moved().empty(); }));
  detach();
  EXPECT_EQ(window.state().moved[0], (PathMapping{{path(a), path(target / "a")}, {path(b), path(target / "b")}}));
  EXPECT_EQ(globalMoves->moved(), window.state().moved);
  ASSERT_TRUE(waitFor([&] { return !alerts->shown().empty(); }));
  EXPECT_EQ(alerts->shown()[0].messageText, "Some items could not be moved.");
}

// What a window subscribed to its store saw of moves.
class MoveWatcher final : public store::Subscriber<WindowState> {
 public:
  void update(const WindowState& state) override {
    std::lock_guard lock(mutex_);
    moved_ = state.moved;
  }
  std::vector<PathMapping> moved() {
    std::lock_guard lock(mutex_);
    return moved_;
  }

 private:
  std::mutex mutex_;
  std::vector<PathMapping> moved_;
};

// The folder panel is modeless: the window may close (and let go of its store) while it is open.
// The move then reports to the store its work holds. Its items are written as shells and other
// programs give them: a folder with a trailing separator, a name that is not UTF-8.
TEST_F(CopyMoveTest, MoveOutlivingItsWindowReportsToTheStoreItHoldsWhateverTheNames) {
  auto dir = folder("from/dir");
  files_.write("from/dir/inside", "x");
  auto latin1 = files_.write("from/caf\xe9", "y");
  auto target = folder("to");
  auto closing = std::make_shared<store::Core<WindowState>>(WindowState{});
  auto watcher = std::make_shared<MoveWatcher>();
  closing->add(watcher);
  std::weak_ptr<store::Core<WindowState>> store = closing;
  const files::Path slashed = path(dir.string() + "/");
  closing->fire(OnWindow::move(std::vector<files::Path>{slashed, path(latin1)}));
  ASSERT_TRUE(waitFor([&] { return panels->count() == 1; }));
  closing.reset();
  EXPECT_FALSE(store.expired());

  panels->choose(0, {target});
  ASSERT_TRUE(waitFor([&] { return !watcher->moved().empty(); }));
  EXPECT_EQ(watcher->moved()[0],
            (PathMapping{{slashed, path(target / "dir")}, {path(latin1), path(target / "caf\xe9")}}));
  EXPECT_TRUE(fs::exists(target / "dir" / "inside"));
  EXPECT_TRUE(fs::exists(target / "caf\xe9"));
}

// Trash --------------------------------------------------------------------------------------------

class NoFileManager final : public appkit::FileManager {
 public:
  foundation::Status showItems(const std::vector<fs::path>&) override { return {}; }
  foundation::Status showItemProperties(const std::vector<fs::path>&) override { return {}; }
  foundation::Status quit() override { return {}; }
  foundation::Status launch() override { return {}; }
};

// A window subscribed to its store, as a real one redraws from it.
class TestWindow final : public store::Subscriber<WindowState> {
 public:
  void update(const WindowState& state) override {
    std::lock_guard lock(mutex);
    trashed = state.trashed;
  }
  std::vector<ItemsTrashed> received() {
    std::lock_guard lock(mutex);
    return trashed;
  }
  std::mutex mutex;
  std::vector<ItemsTrashed> trashed;
};

class TrashTest : public ShellTest {
 protected:
  TrashTest() {
    services.workspace = std::make_shared<appkit::DesktopWorkspace>(
        std::make_shared<NoFileManager>(), std::make_shared<const appkit::FreedesktopTrash>(),
        dispatch::MainQueue::shared(), pool_);
    delegate();
  }
  dispatch::GlobalPool pool_{1};
  test::TempDir files_;
};

TEST_F(TrashTest, TrashedItemLandsInTheTrashWithItsRecordAndTheEventReachesTheWindow) {
  auto item = files_.write("doomed.txt", "bye");
  store::Core<WindowState> store{WindowState{}};
  auto window = std::make_shared<TestWindow>();
  store.add(window);

  store.fire(GlobalCommands<WindowState>::trash(std::vector<files::Path>{path(item)}));
  ASSERT_TRUE(waitFor([&] { return !window->received().empty(); }));

  auto event = window->received()[0];
  EXPECT_EQ(event.items, (std::vector<files::Path>{path(item)}));
  EXPECT_FALSE(event.error);
  fs::path trash = sandbox.root() / "XDG_DATA_HOME/Trash";
  EXPECT_FALSE(fs::exists(item));
  EXPECT_TRUE(fs::exists(trash / "files/doomed.txt"));
  std::ifstream info(trash / "info/doomed.txt.trashinfo");
  std::string header, recorded;
  std::getline(info, header);
  std::getline(info, recorded);
  EXPECT_EQ(header, "[Trash Info]");
  EXPECT_EQ(recorded, "Path=" + appkit::FreedesktopTrash::encodePath(fs::canonical(files_.path()).string() + "/doomed.txt"));
}

TEST_F(TrashTest, ItemThatCannotBeTrashedComesBackAsTheEventsError) {
  store::Core<WindowState> store{WindowState{}};
  auto window = std::make_shared<TestWindow>();
  store.add(window);
  store.fire(GlobalCommands<WindowState>::trash(std::vector<files::Path>{path(files_.path() / "absent")}));
  ASSERT_TRUE(waitFor([&] { return !window->received().empty(); }));
  EXPECT_TRUE(window->received()[0].items.empty());
  ASSERT_TRUE(window->received()[0].error);
  EXPECT_TRUE(window->received()[0].error->isPosix(ENOENT));
}

// Rename -------------------------------------------------------------------------------------------

class RenameTest : public GlobalCommandsTest {
 protected:
  std::shared_ptr<testing::ListWindow> parent = std::make_shared<testing::ListWindow>();
  store::Core<WindowState> window{WindowState{}};
  std::vector<files::Path> items = {path("/tmp/a"), path("/tmp/same"), path("/tmp/fail")};

  testing::RenameDialog& openSheet() {
    window.fire(OnWindow::rename(items, parent));
    EXPECT_TRUE(waitFor([&] { return count(renameDialogs) == 1 && renameDialogs[0]->ended; }));
    return *renameDialogs[0];
  }
};

TEST_F(RenameTest, WithoutParentTheDialogIsAWindowOfItsOwn) {
  window.fire(OnWindow::rename(items));
  ASSERT_TRUE(waitFor([&] { return count(renameDialogs) == 1; }));
  EXPECT_TRUE(renameDialogs[0]->shownAlone);
  EXPECT_FALSE(renameDialogs[0]->ended);
}

TEST_F(RenameTest, SheetEndedOtherwiseThanByRenamingStops) {
  auto& dialog = openSheet();
  EXPECT_EQ(dialog.sheetParent, parent);
  dialog.currentRule = std::make_shared<testing::SuffixRule>("-x");
  dialog.ended(0);
  settle();
  EXPECT_EQ(count(confirmations), 0u);
}

TEST_F(RenameTest, ConfirmationGetsOnlyTheItemsWhoseNameChanges) {
  auto& dialog = openSheet();
  dialog.currentRule = std::make_shared<testing::SuffixRule>("-x");
  dialog.ended(kRenameDialogContinueResponse);
  ASSERT_EQ(count(confirmations), 1u);
  EXPECT_EQ(confirmations[0]->confirming, (std::vector<files::Path>{path("/tmp/a")}));
}

TEST_F(RenameTest, RenamesAreAnnouncedOnTheWindowThenTheGlobalStore) {
  auto& dialog = openSheet();
  dialog.currentRule = std::make_shared<testing::SuffixRule>("-x");
  dialog.ended(kRenameDialogContinueResponse);
  ASSERT_EQ(count(confirmations), 1u);
  std::vector<PathMapping> heard;
  std::mutex heardMutex;
  struct Listener : store::Middleware<GlobalState> {
    std::function<void(const store::Event&)> onEvent;
    void process(const store::Event& event, const GlobalState&) override { onEvent(event); }
  };
  auto listener = std::make_shared<Listener>();
  listener->onEvent = [&](const store::Event& event) {
    if (auto* renamed = event.as<ApplicationEvents::ItemsRenamed>()) {
      std::lock_guard lock(heardMutex);
      heard.push_back(renamed->items);
    }
  };
  auto remove = global().add(listener);

  confirmations[0]->performed = {{path("/tmp/a"), path("/tmp/a-x")}};
  confirmations[0]->ended();
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard lock(heardMutex);
    return !heard.empty() && !window.state().renamed.empty();
  }));
  EXPECT_EQ(window.state().renamed[0], (PathMapping{{path("/tmp/a"), path("/tmp/a-x")}}));
  remove();
}

TEST_F(RenameTest, ConfirmationThatRenamedNothingFiresNothing) {
  auto& dialog = openSheet();
  dialog.currentRule = std::make_shared<testing::SuffixRule>("-x");
  dialog.ended(kRenameDialogContinueResponse);
  confirmations[0]->ended();
  settle();
  EXPECT_TRUE(window.state().renamed.empty());
}

}  // namespace
}  // namespace ml::shell

#include "list/menu/QuickAccessMenu.h"

#include <gtest/gtest.h>

#include <fstream>

#include "files/FileSystem.h"
#include "list/menu/AncestorEntries.h"
#include "list/menu/ListMenuRules.h"
#include "list/menu/MountedVolumes.h"
#include "support/TempDir.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> titles(const std::vector<QuickAccessEntry>& entries) {
  std::vector<std::string> result;
  for (const auto& e : entries) result.push_back(e.separator ? "--" : e.title);
  return result;
}

const QuickAccessEntry& entryTitled(const std::vector<QuickAccessEntry>& menu, const std::string& title) {
  for (const auto& e : menu) {
    if (!e.separator && e.title == title) return e;
  }
  throw std::runtime_error("no entry " + title);
}

std::vector<fs::path> urls(const std::vector<files::Path>& paths) {
  std::vector<fs::path> result;
  for (const auto& p : paths) result.push_back(p.url());
  return result;
}

class QuickAccessMenuTest : public ::testing::Test {
 protected:
  QuickAccessMenuTest() {
    base.home = dir.path() / "home";
    base.dataHome = dir.path() / "home/.local/share";
    base.configHome = dir.path() / "home/.config";
    base.cacheHome = dir.path() / "home/.cache";
    base.stateHome = dir.path() / "home/.local/state";
    base.dataDirs = {dir.path() / "usr/share"};
    base.configDirs = {dir.path() / "etc/xdg"};
    fs::create_directories(base.home);
    sources.fileSystem = files::FileSystems::defaultFileSystem();
    sources.volumes = [this] { return volumes; };
    sources.baseDirectories = [this] { return base; };
    sources.userName = [] { return std::string("ada"); };
    sources.trashFolders = [this] { return trash; };
    sources.crashReportFolders = [this] { return crashFolders; };
    sources.icon = [](const fs::path& item) -> std::optional<files::FileIcon> { return files::FileIcon{"icon", item}; };
  }

  std::vector<QuickAccessEntry> build() const { return buildQuickAccessMenu(sources); }
  fs::path makeFolder(const std::string& relative) const {
    fs::create_directories(dir.path() / relative);
    return dir.path() / relative;
  }

  test::TempDir dir;
  BaseDirectories base;
  std::optional<std::vector<MountedVolume>> volumes = std::vector<MountedVolume>{};
  std::vector<fs::path> trash;
  std::vector<fs::path> crashFolders;
  QuickAccessSources sources;
};

TEST_F(QuickAccessMenuTest, TheMenuHasVolumesHomeTheNineGroupsAndCrashReportsInThatOrder) {
  volumes = std::vector<MountedVolume>{{"/", "Disk", "drive-harddisk"}};
  EXPECT_EQ(titles(build()),
            (std::vector<std::string>{"Disk", "--", "ada", "--", "Application Support", "Caches",
                                      "Contextual Menu Items", "Fonts", "Library", "Logs", "Preference Panes",
                                      "Preferences", "Trash Folders", "--", "Crash Reports"}));
}

TEST_F(QuickAccessMenuTest, WithoutAVolumeListTheRestIsStillBuilt) {
  volumes = std::nullopt;
  auto menu = build();
  EXPECT_EQ(titles(menu).front(), "--");
  EXPECT_EQ(menu.size(), 14u);
}

TEST_F(QuickAccessMenuTest, VolumesAreSortedByTitleIgnoringCaseAndStableForEqualTitles) {
  volumes = std::vector<MountedVolume>{{"/b", "beta", "x"}, {"/a", "Alpha", "x"}, {"/g", "gamma", "x"},
                                       {"/d1", "Data", "x"}, {"/d2", "data", "x"}};
  auto menu = build();
  auto all = titles(menu);
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 5),
            (std::vector<std::string>{"Alpha", "beta", "Data", "data", "gamma"}));
  EXPECT_EQ(urls({std::get<files::Path>(*menu[2].target)}), (std::vector<fs::path>{"/d1"}));
}

TEST_F(QuickAccessMenuTest, TheAutomounterPointsAreNeverListed) {
  volumes = std::vector<MountedVolume>{{"/home", "home", "x"}, {"/net", "net", "x"}, {"/homework", "homework", "x"}};
  auto menu = build();
  EXPECT_EQ(titles(menu).front(), "homework");
  EXPECT_EQ(titles(menu)[1], "--");
}

TEST_F(QuickAccessMenuTest, TheHomeSubmenuListsVisibleFoldersOnlyWithoutImages) {
  makeFolder("home/Music");
  makeFolder("home/documents");
  makeFolder("home/.config");
  std::ofstream(base.home / "notes.txt") << "x";
  auto menu = build();
  const auto& home = entryTitled(menu, "ada");
  EXPECT_EQ(std::get<files::Path>(*home.target).url(), base.home);
  EXPECT_EQ(home.image.kind, MenuImage::Kind::itemIcon);
  EXPECT_EQ(titles(home.submenu), (std::vector<std::string>{"documents", "Music"}));
  for (const auto& e : home.submenu) EXPECT_EQ(e.image.kind, MenuImage::Kind::none);
}

TEST_F(QuickAccessMenuTest, SomeGroupsListEveryCandidateOthersOnlyExistingOnes) {
  auto fonts = makeFolder("usr/share/fonts");
  auto menu = build();
  EXPECT_EQ(urls(std::get<std::vector<files::Path>>(*entryTitled(menu, "Application Support").target)),
            (std::vector<fs::path>{base.dataHome, dir.path() / "usr/share"}));
  EXPECT_EQ(urls(std::get<std::vector<files::Path>>(*entryTitled(menu, "Fonts").target)), (std::vector<fs::path>{fonts}));
  EXPECT_EQ(std::get<std::vector<files::Path>>(*entryTitled(menu, "Library").target).size(), 3u);
  EXPECT_EQ(entryTitled(menu, "Library").image.kind, MenuImage::Kind::itemIcon);
  EXPECT_EQ(entryTitled(menu, "Caches").image.kind, MenuImage::Kind::folder);
  EXPECT_EQ(entryTitled(menu, "Trash Folders").image.kind, MenuImage::Kind::trashFull);
}

TEST_F(QuickAccessMenuTest, ContextualMenuItemsAreLookedUpWhenChosen) {
  auto menu = build();
  const auto& target = *entryTitled(menu, "Contextual Menu Items").target;
  ASSERT_TRUE(std::holds_alternative<PathProvider>(target));
  EXPECT_TRUE(itemsOf(target).empty());
  auto actions = makeFolder("home/.local/share/file-manager/actions");
  EXPECT_EQ(urls(itemsOf(target)), (std::vector<fs::path>{actions}));
}

TEST_F(QuickAccessMenuTest, TrashFoldersContributeTheirItemsOrThemselves) {
  auto full = makeFolder("trash1/files");
  std::ofstream(full / "old.txt") << "x";
  auto empty = makeFolder("trash2/files");
  auto notFolder = dir.path() / "trash3/files";
  trash = {full, empty, notFolder};
  auto menu = build();
  EXPECT_EQ(urls(std::get<std::vector<files::Path>>(*entryTitled(menu, "Trash Folders").target)),
            (std::vector<fs::path>{full / "old.txt", notFolder}));
}

TEST_F(QuickAccessMenuTest, CrashReportsListOnlyExistingFolders) {
  auto existing = makeFolder("crash");
  crashFolders = {dir.path() / "nothing", existing};
  auto menu = build();
  EXPECT_EQ(urls(std::get<std::vector<files::Path>>(*entryTitled(menu, "Crash Reports").target)),
            (std::vector<fs::path>{existing}));
}

TEST(MountedVolumes, RealFileSystemsAreVolumesAndTheSystemsOwnMountsAreNot) {
  auto entry = [](std::string point, std::string type) {
    darwin::MountEntry e;
    e.mountPoint = point;
    e.fileSystemType = type;
    e.source = "none";
    return e;
  };
  auto volumes = volumesOf({entry("/", "overlay"), entry("/proc", "proc"), entry("/run", "tmpfs"),
                            entry("/run/media/ada/STICK", "vfat"), entry("/dev/shm", "tmpfs"),
                            entry("/mnt/data", "ext4"), entry("/mnt/share", "nfs4"), entry("/mnt/data", "xfs"),
                            entry("/snap/core/1", "squashfs")},
                           "/nonexistent-labels");
  std::vector<std::string> points, icons;
  for (const auto& v : volumes) {
    points.push_back(v.mountPoint.string());
    icons.push_back(v.iconName);
  }
  EXPECT_EQ(points, (std::vector<std::string>{"/", "/run/media/ada/STICK", "/mnt/share", "/mnt/data"}));
  EXPECT_EQ(icons, (std::vector<std::string>{"drive-harddisk", "drive-removable-media", "folder-remote", "drive-harddisk"}));
  EXPECT_EQ(volumes[1].name, "STICK");
}

TEST(ListMenuRules, EnablingFollowsTheMenuThePositionAndTheFrontWindow) {
  EXPECT_FALSE(isListMenuItemEnabled({false, "New List", "", 0}, true));
  EXPECT_TRUE(isListMenuItemEnabled({true, "Open List...", "fleetlook", 1}, false));
  EXPECT_FALSE(isListMenuItemEnabled({true, "Open List...", "", 1}, true));
  EXPECT_TRUE(isListMenuItemEnabled({true, "New List", "", 0}, false));
  EXPECT_FALSE(isListMenuItemEnabled({true, "Add", "", 4}, false));
  EXPECT_TRUE(isListMenuItemEnabled({true, "Add", "", 4}, true));
}

TEST(ListMenuRules, AChosenFolderListsItsEntriesAndAMissingOneNothing) {
  test::TempDir dir;
  dir.write("a", "x");
  EXPECT_EQ(itemsOf(files::Path(dir.path())).size(), 1u);
  EXPECT_TRUE(itemsOf(files::Path(dir.path() / "gone")).empty());
  EXPECT_TRUE(itemsOf(files::Path(dir.path() / "a")).empty());
  EXPECT_EQ(itemsOf(std::vector<files::Path>{files::Path(dir.path())}).size(), 1u);
}

TEST(AncestorEntries, AnItemComesFirstThenEachEnclosingFolderUpToTheVolume) {
  files::Path item(fs::path("/usr/share/a.txt"));
  auto entries = ancestorEntries(item);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].title, "a.txt");
  EXPECT_EQ(entries[1].title, "share");
  EXPECT_EQ(entries[2].title, "usr");
  EXPECT_EQ(entries[3].path.url(), fs::path("/"));
  EXPECT_EQ(entries[3].title, files::Path(fs::path("/")).volume());
}

}  // namespace
}  // namespace ml::list

#include <gtest/gtest.h>

#include <unicode/locid.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "files/FileSystem.h"
#include "files/TypeDescriber.h"
#include "list/rows/ListWindowDataSource2.h"
#include "list/rows/PathListItem.h"
#include "list/rows/SortDescriptor.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TempDir.h"

namespace ml::list {
namespace {

namespace fs = std::filesystem;

class RowsTest : public ::testing::Test {
 protected:
  // The rows belong to the main thread (they assert it): the test's thread plays that part.
  RowsTest() { dispatch::MainQueue::markCurrentThreadAsMain(); }

  files::Path file(const std::string& name, std::size_t bytes = 1) const {
    return files::Path(dir.write(name, std::string(bytes, 'x')));
  }
  files::Path folder(const std::string& name) const {
    fs::create_directories(dir.path() / name);
    return files::Path(dir.path() / name);
  }
  test::TempDir dir;
};

// Records what the data source announces, and checks the rows are alive while it does.
class RecordingObserver final : public DataSourceObserver {
 public:
  void willInsertRows(int first, int last) override { calls.push_back("insert " + range(first, last)); }
  void didInsertRows() override { calls.push_back("inserted"); }
  void willRemoveRows(int first, int last) override { calls.push_back("remove " + range(first, last)); }
  void didRemoveRows() override { calls.push_back("removed"); }
  void willReorderRows() override { calls.push_back("reorder"); }
  void didReorderRows(const std::unordered_map<const PathListItem*, PathListItem*>& replaced) override {
    for (const auto& [from, to] : replaced) calls.push_back("replaced " + std::string(from->name()) + " by " + std::string(to->name()));
    calls.push_back("reordered");
  }
  static std::string range(int a, int b) { return std::to_string(a) + "-" + std::to_string(b); }
  std::vector<std::string> calls;
};

std::vector<std::string> namesOf(const ListWindowDataSource2& source) {
  std::vector<std::string> names;
  for (const auto& row : source.items()) names.emplace_back(row->name());
  return names;
}

TEST_F(RowsTest, AFileRowHoldsItsNameSizeDatesAndLocation) {
  auto row = PathListItem::make(file("report.pdf", 5321));
  EXPECT_EQ(row->name(), "report.pdf");
  EXPECT_FALSE(row->isExpandable());
  EXPECT_EQ(row->byteCount(), 5321);
  EXPECT_EQ(row->childCount(), 0);
  EXPECT_TRUE(row->lastModifiedDate().has_value());
  files::Path parent(dir.path());
  EXPECT_EQ(row->fullPath(), parent.volume() + dir.path().string());
  EXPECT_FALSE(row->icon().themeName.empty());
}

// Counts the icon lookups, answering a name of its own.
class CountingDescriber final : public files::TypeDescriber {
 public:
  std::optional<std::string> kindDescription(const fs::path&) const override { return std::nullopt; }
  files::FileIcon icon(const fs::path& item) const override {
    ++lookups;
    return {"counted-icon", item};
  }
  mutable std::atomic<int> lookups = 0;
};

TEST_F(RowsTest, ARowLooksItsIconUpOnceWhenFirstAskedFromAnyThread) {
  auto describer = std::make_shared<CountingDescriber>();
  files::TypeDescriber::install(describer);
  std::vector<std::shared_ptr<PathListItem>> rows;
  for (int i = 0; i < 50; ++i) rows.push_back(PathListItem::make(file("item" + std::to_string(i))));
  EXPECT_EQ(describer->lookups, 0);  // building reads no type

  std::vector<std::thread> askers;
  for (int t = 0; t < 4; ++t) {
    askers.emplace_back([&] {
      for (const auto& row : rows) EXPECT_EQ(row->icon().themeName, "counted-icon");
    });
  }
  for (auto& asker : askers) asker.join();
  EXPECT_EQ(describer->lookups, 50);
  EXPECT_EQ(rows.front()->icon().path, rows.front()->source().url());
  files::TypeDescriber::install(nullptr);
}

TEST_F(RowsTest, AFolderRowIsExpandableWithoutSizeAndCountsItsEntriesHiddenOnesIncluded) {
  file("box/a");
  file("box/.hidden");
  folder("box/inner");
  auto row = PathListItem::make(folder("box"));
  EXPECT_TRUE(row->isExpandable());
  EXPECT_EQ(row->byteCount(), -1);
  EXPECT_EQ(row->childCount(), 3);
}

TEST_F(RowsTest, AnEmptyFolderIsExpandableAndHasNoChildren) {
  auto row = PathListItem::make(folder("empty"));
  EXPECT_TRUE(row->isExpandable());
  EXPECT_EQ(row->childCount(), 0);
  EXPECT_EQ(row->child(0), nullptr);
}

// The usage events sent, by name.
class RecordingUsage final : public shell::UsageEvents {
 public:
  void trackEvent(const std::string& name, const std::map<std::string, std::string>&) override { names.push_back(name); }
  std::vector<std::string> names;
};

TEST_F(RowsTest, AnUnreadableItemHasNoDatesAndNoSizeAndIsReportedWhereItsFolderReports) {
  auto usage = std::make_shared<RecordingUsage>();
  auto row = PathListItem::make(files::Path(dir.path() / "missing"), usage);
  EXPECT_FALSE(row->creationDate().has_value());
  EXPECT_FALSE(row->lastModifiedDate().has_value());
  EXPECT_EQ(row->byteCount(), -1);
  EXPECT_EQ(row->name(), "missing");
  EXPECT_EQ(usage->names, std::vector<std::string>{"Failed to read dates"});

  // A child built after its entry vanished reports to its folder's sink.
  auto box = folder("box");
  file("box/gone");
  auto parent = PathListItem::make(box, usage);
  EXPECT_EQ(usage->names.size(), 1u);
  fs::remove(dir.path() / "box" / "gone");
  ASSERT_NE(parent->child(0), nullptr);
  EXPECT_EQ(usage->names.size(), 2u);
  EXPECT_EQ(PathListItem::make(files::Path(dir.path() / "missing"))->name(), "missing");  // no sink: nothing sent
  EXPECT_EQ(usage->names.size(), 2u);
}

TEST_F(RowsTest, ARowOfAnItemThatIsGoneSaysSoAndAnUnreadableOneDoesNot) {
  ListWindowDataSource2 source;
  auto gone = PathListItem::make(files::Path(dir.path() / "missing"));
  EXPECT_TRUE(gone->isGone());
  EXPECT_EQ(std::get<std::string>(source.objectValue(column::location, gone.get())), kGoneText);
  auto present = PathListItem::make(file("here.txt", 3));
  EXPECT_FALSE(present->isGone());
  EXPECT_EQ(std::get<std::string>(source.objectValue(column::location, present.get())), present->fullPath());
  auto underAFile = PathListItem::make(files::Path(dir.path() / "here.txt" / "inside"));
  EXPECT_TRUE(underAFile->isGone());
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder; the unreadable case needs a normal user";
  auto locked = folder("locked");
  file("locked/secret");
  fs::permissions(locked.url(), fs::perms::none);
  auto unreadable = PathListItem::make(files::Path(dir.path() / "locked" / "secret"));
  fs::permissions(locked.url(), fs::perms::owner_all);
  EXPECT_FALSE(unreadable->lastModifiedDate().has_value());
  EXPECT_FALSE(unreadable->isGone());
}

TEST_F(RowsTest, NamesOfTheRootAndOfLocationsWithATrailingSlash) {
  EXPECT_EQ(PathListItem::make(files::Path(fs::path("/")))->name(), "/");
  EXPECT_EQ(PathListItem::make(files::Path(fs::path(dir.path().string() + "/")))->name(),
            dir.path().filename().string());
}

TEST_F(RowsTest, AChildIsBuiltOnceOnFirstRequestAndKnowsItsParent) {
  file("box/a");
  auto row = PathListItem::make(folder("box"));
  EXPECT_EQ(row->builtChild(0), nullptr);
  auto first = row->child(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(row->child(0), first);
  EXPECT_EQ(first->name(), "a");
  EXPECT_EQ(first->parent(), row.get());
  EXPECT_EQ(first->indexInParent(), 0);
}

TEST_F(RowsTest, AnEntryThatVanishedAfterTheRowWasBuiltStillGetsARow) {
  file("box/a");
  auto row = PathListItem::make(folder("box"));
  fs::remove(dir.path() / "box/a");
  auto child = row->child(0);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->name(), "a");
  EXPECT_FALSE(child->lastModifiedDate().has_value());
  EXPECT_TRUE(child->isGone());
}

TEST_F(RowsTest, ColumnValuesFollowTheColumnIdentifiers) {
  ListWindowDataSource2 source;
  auto fileRow = PathListItem::make(file("a.txt", 12));
  auto folderRow = PathListItem::make(folder("f"));
  EXPECT_EQ(std::get<std::string>(source.objectValue(column::name, fileRow.get())), "a.txt");
  EXPECT_EQ(std::get<int64_t>(source.objectValue(column::size, fileRow.get())), 12);
  EXPECT_EQ(std::get<std::string>(source.objectValue(column::size, folderRow.get())), "\u2014");
  EXPECT_EQ(std::get<std::string>(source.objectValue(column::location, fileRow.get())), fileRow->fullPath());
  EXPECT_TRUE(std::holds_alternative<files::Date>(source.objectValue(column::modified, fileRow.get())));
  EXPECT_TRUE(std::holds_alternative<files::FileIcon>(source.objectValue(column::icon, fileRow.get())));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(source.objectValue("other", fileRow.get())));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(source.objectValue(column::name, nullptr)));
}

TEST_F(RowsTest, TheRootAnswersTopLevelRowsAndRowsAnswerTheirChildren) {
  ListWindowDataSource2 source;
  file("box/a");
  source.append({PathListItem::make(folder("box")), PathListItem::make(file("b"))});
  EXPECT_EQ(source.numberOfChildren(nullptr), 2);
  EXPECT_EQ(source.child(1, nullptr)->name(), "b");
  EXPECT_EQ(source.child(2, nullptr), nullptr);
  PathListItem* box = source.items()[0].get();
  EXPECT_TRUE(source.isExpandable(box));
  EXPECT_FALSE(source.isExpandable(nullptr));
  EXPECT_EQ(source.numberOfChildren(box), 1);
  EXPECT_EQ(source.child(0, box)->name(), "a");
  EXPECT_EQ(source.rowOf(source.items()[1].get()), 1);
  EXPECT_EQ(source.rowOf(source.child(0, box).get()), -1);
}

// Names sort the same whatever the process locale, C and POSIX included: letter case after the
// letters, digit runs as numbers.
TEST_F(RowsTest, NamesSortCaseInsensitivelyInEveryProcessLocale) {
  const icu::Locale before = icu::Locale::getDefault();
  for (const char* name : {"en_US_POSIX", "c", "en_US", "de_DE", "fr", ""}) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(name), status);
    ListWindowDataSource2 source;
    source.append({PathListItem::make(file("README.md")), PathListItem::make(file("a-fifo")),
                   PathListItem::make(file("b 10")), PathListItem::make(file("B 9"))});
    source.sortDescriptorsDidChange({{SortKey::name, true}});
    EXPECT_EQ(namesOf(source), (std::vector<std::string>{"a-fifo", "B 9", "b 10", "README.md"})) << "locale " << name;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(before, status);
}

TEST_F(RowsTest, SortingByNameComparesDigitRunsAsNumbersAndKeepsChildrenInListingOrder) {
  ListWindowDataSource2 source;
  file("file 10/z");
  file("file 10/a");
  source.append({PathListItem::make(folder("file 10")), PathListItem::make(file("file 2")),
                 PathListItem::make(file("File 1"))});
  PathListItem* box = source.items()[0].get();
  const std::string firstChild(source.child(0, box)->name());
  source.sortDescriptorsDidChange({{SortKey::name, true}});
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"File 1", "file 2", "file 10"}));
  EXPECT_EQ(source.child(0, box)->name(), firstChild);
  source.sortDescriptorsDidChange({{SortKey::name, false}});
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"file 10", "file 2", "File 1"}));
}

TEST_F(RowsTest, ALaterDescriptorDecidesOnlyBetweenRowsTheFirstFindsEqual) {
  ListWindowDataSource2 source;
  source.append({PathListItem::make(file("b", 5)), PathListItem::make(file("c", 1)), PathListItem::make(file("a", 5))});
  source.sortDescriptorsDidChange({{SortKey::byteCount, true}, {SortKey::name, false}});
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(RowsTest, RowsEqualUnderEveryDescriptorKeepTheirOrder) {
  ListWindowDataSource2 source;
  source.append({PathListItem::make(file("x", 3)), PathListItem::make(file("y", 3)), PathListItem::make(file("w", 3))});
  source.sortDescriptorsDidChange({{SortKey::byteCount, true}});
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"x", "y", "w"}));
}

TEST_F(RowsTest, ChoosingASortColumnPutsItFirstAndKeepsTheEarlierOnesAfter) {
  std::vector<SortDescriptor> current{{SortKey::name, true}, {SortKey::byteCount, false}};
  EXPECT_EQ(withPrimary(current, {SortKey::byteCount, true}),
            (std::vector<SortDescriptor>{{SortKey::byteCount, true}, {SortKey::name, true}}));
  EXPECT_EQ(sortKeyNamed("lastModifiedDate"), SortKey::lastModifiedDate);
  EXPECT_EQ(sortKeyNamed("icon"), std::nullopt);
}

TEST_F(RowsTest, TheObserverHearsOfInsertsRemovalRunsAndReplacements) {
  ListWindowDataSource2 source;
  RecordingObserver observer;
  source.setObserver(&observer);
  auto a = file("a"), b = file("b"), c = file("c");
  source.append({PathListItem::make(a), PathListItem::make(b), PathListItem::make(a), PathListItem::make(c)});
  EXPECT_EQ(source.remove({a}), 2u);
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"b", "c"}));

  ListWindowDataSource2::Replacements replacements;
  replacements[c.description()].push_back(PathListItem::make(file("d")));
  replacements[a.description()].push_back(PathListItem::make(file("e")));  // not listed any more
  EXPECT_EQ(source.replace(std::move(replacements)), 1u);
  EXPECT_EQ(namesOf(source), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(observer.calls, (std::vector<std::string>{"insert 0-3", "inserted", "remove 2-2", "removed", "remove 0-0",
                                                      "removed", "reorder", "replaced c by d", "reordered"}));
  source.setObserver(nullptr);
}

TEST_F(RowsTest, RemovingPathsShownOnlyInsideFoldersDropsNoRow) {
  ListWindowDataSource2 source;
  auto inner = file("box/a");
  source.append({PathListItem::make(folder("box"))});
  source.child(0, source.items()[0].get());
  EXPECT_EQ(source.remove({inner}), 0u);
  EXPECT_EQ(source.items().size(), 1u);
}

}  // namespace
}  // namespace ml::list

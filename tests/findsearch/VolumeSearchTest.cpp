#include "find/search/VolumeSearch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/darwin/FinderInfo.h"
#include "platform/dispatch/ManualClock.h"
#include "support/TempDir.h"

namespace ml::find {
namespace {

namespace fs = std::filesystem;

struct Collected {
  std::vector<std::vector<files::Path>> batches;
  std::set<std::string> relative(const fs::path& root) const {
    std::set<std::string> out;
    for (const auto& batch : batches)
      for (const auto& p : batch) out.insert(p.url().lexically_relative(root).string());
    return out;
  }
  size_t total() const {
    size_t n = 0;
    for (const auto& b : batches) n += b.size();
    return n;
  }
};

class VolumeSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("a.txt", "");
    dir.write("b.md", "");
    dir.write(".hidden.txt", "");
    dir.write("sub/c.txt", "");
    dir.write("sub/deeper/d.TXT", "");
    dir.write(".secret/e.txt", "");
    dir.write("Tool.app/inside.txt", "");
    fs::create_symlink(dir.path() / "sub", dir.path() / "link-to-sub");
  }

  Collected search(SearchDescriptor criteria, int threads = 3) {
    Collected collected;
    SearchSettings settings{&clock, std::chrono::seconds(1), threads};
    auto operation = executeSearch(files::Path(dir.path()), std::move(criteria),
                                   [&](std::vector<files::Path> batch) { collected.batches.push_back(std::move(batch)); },
                                   settings);
    operation->run();
    return collected;
  }

  test::TempDir dir;
  dispatch::ManualClock clock;
};

TEST_F(VolumeSearchTest, NoCriteriaFindsEverythingBelowTheStartFolderButNotInsidePackages) {
  auto found = search({}).relative(dir.path());
  EXPECT_EQ(found, (std::set<std::string>{"a.txt", "b.md", ".hidden.txt", "sub", "sub/c.txt", "sub/deeper",
                                          "sub/deeper/d.TXT", ".secret", ".secret/e.txt", "Tool.app",
                                          "link-to-sub"}));
}

TEST_F(VolumeSearchTest, IncludingPackageContentsGoesInsidePackages) {
  SearchDescriptor criteria;
  criteria.includePackageContents = true;
  EXPECT_TRUE(search(criteria).relative(dir.path()).count("Tool.app/inside.txt"));
}

TEST_F(VolumeSearchTest, SymbolicLinksAreReportedButNeverFollowed) {
  SearchDescriptor criteria;
  criteria.name = NameCriterion{true, NameSearchOption::is({"c.txt"}), false};
  EXPECT_EQ(search(criteria).relative(dir.path()), (std::set<std::string>{"sub/c.txt"}));
}

// Names as other systems store them: decomposed (e + combining acute), composed, and Latin-1
// bytes that are not UTF-8. Text typed composed finds both Unicode forms, with and without case
// mattering and through an expression; the Latin-1 name is still found by its ASCII part.
TEST_F(VolumeSearchTest, NamesAreComparedCanonicallyWhetherCaseMattersOrNot) {
  dir.write("decomposed/cafe\xCC\x81.txt", "");
  dir.write("composed/caf\xC3\xA9.txt", "");
  dir.write("latin1/caf\xE9.txt", "");
  dir.write("other/Cafe.txt", "");
  const std::set<std::string> both{"decomposed/cafe\xCC\x81.txt", "composed/caf\xC3\xA9.txt"};
  auto named = [&](bool caseSensitive, NameSearchOption option) {
    SearchDescriptor criteria;
    criteria.name = NameCriterion{caseSensitive, std::move(option), false};
    return search(criteria).relative(dir.path());
  };
  EXPECT_EQ(named(true, NameSearchOption::contains({"caf\xC3\xA9"})), both);
  EXPECT_EQ(named(false, NameSearchOption::contains({"CAF\xC3\x89"})), both);
  EXPECT_EQ(named(true, NameSearchOption::is({"caf\xC3\xA9.txt"})), both);
  EXPECT_EQ(named(true, NameSearchOption::endsWith({"\xC3\xA9.txt"})), both);
  // Typed decomposed, found composed too.
  EXPECT_EQ(named(true, NameSearchOption::startsWith({"cafe\xCC\x81"})), both);
  auto pattern = NamePattern::compile("^caf\xC3\xA9\\.");
  ASSERT_TRUE(pattern);
  EXPECT_EQ(named(true, NameSearchOption::matches(*pattern)), both);
  // Case still matters when asked to, and bytes that are not UTF-8 compare as they are.
  EXPECT_EQ(named(true, NameSearchOption::contains({"CAF\xC3\x89"})), std::set<std::string>{});
  EXPECT_EQ(named(true, NameSearchOption::is({"caf\xE9.txt"})), std::set<std::string>{"latin1/caf\xE9.txt"});
  EXPECT_EQ(named(true, NameSearchOption::startsWith({"caf"})).size(), 3u);
}

TEST_F(VolumeSearchTest, ExtensionAndVisibilityCombine) {
  SearchDescriptor criteria;
  criteria.extension = ExtensionCriterion{"txt", false};
  criteria.invisible = false;
  // Hidden folders are not entered when only visible items are wanted.
  EXPECT_EQ(search(criteria).relative(dir.path()), (std::set<std::string>{"a.txt", "sub/c.txt"}));
}

TEST_F(VolumeSearchTest, FinderFlagsOfFoundItemsAreRead) {
  darwin::FinderInfo info;
  info.setFlag(darwin::FinderInfo::kIsAlias, true);
  auto status = darwin::writeFinderInfo(dir.path() / "b.md", info);
  if (!status) GTEST_SKIP() << "no user extended attributes here";
  SearchDescriptor criteria;
  criteria.type = TypeDescriptor::file(files::FileKind::alias);
  EXPECT_EQ(search(criteria).relative(dir.path()), (std::set<std::string>{"b.md"}));
}

TEST_F(VolumeSearchTest, WithoutTimeAdvancingBatchesAreTheEarlyOneAndTheFinalOne) {
  for (int i = 0; i < 50; ++i) dir.write("many/" + std::to_string(i) + "/f", "");
  auto collected = search({}, 4);
  EXPECT_LE(collected.batches.size(), 2u);
  EXPECT_EQ(collected.total(), collected.relative(dir.path()).size());
  EXPECT_EQ(collected.total(), 11u + 1 + 100);
  for (const auto& batch : collected.batches) EXPECT_FALSE(batch.empty());
}

TEST_F(VolumeSearchTest, CancellingDeliversAtMostOneMoreBatch) {
  for (int i = 0; i < 200; ++i) dir.write("many/" + std::to_string(i) + "/f", "");
  std::shared_ptr<dispatch::Operation> operation;
  size_t batches = 0;
  operation = executeSearch(files::Path(dir.path()), {},
                            [&](std::vector<files::Path>) {
                              ++batches;
                              operation->cancel();
                            },
                            SearchSettings{&clock, std::chrono::seconds(1), 1});
  operation->run();
  EXPECT_GE(batches, 1u);
  EXPECT_LE(batches, 2u);
}

TEST_F(VolumeSearchTest, MissingStartFolderEndsWithoutBatches) {
  size_t batches = 0;
  auto operation = executeSearch(files::Path(dir.path() / "absent"), {}, [&](std::vector<files::Path>) { ++batches; },
                                 SearchSettings{&clock, std::chrono::seconds(1), 2});
  bool completed = false;
  operation->setCompletion([&] { completed = true; });
  operation->run();
  EXPECT_EQ(batches, 0u);
  EXPECT_TRUE(completed);
}

TEST_F(VolumeSearchTest, UnreadableFolderIsSkippedAndTheSearchGoesOn) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  dir.write("closed/x", "");
  fs::permissions(dir.path() / "closed", fs::perms::none);
  auto found = search({}).relative(dir.path());
  fs::permissions(dir.path() / "closed", fs::perms::owner_all);
  EXPECT_TRUE(found.count("closed"));
  EXPECT_FALSE(found.count("closed/x"));
  EXPECT_TRUE(found.count("sub/deeper/d.TXT"));
}

}  // namespace
}  // namespace ml::find

#include "find/search/ItemFilter.h"

#include <gtest/gtest.h>

#include "platform/darwin/FinderInfo.h"

namespace ml::find {
namespace {

using darwin::FinderInfo;
using files::FileKind;

FoundEntry file(std::string_view name, uint16_t flags = 0) { return {name, false, false, flags}; }
FoundEntry folder(std::string_view name, uint16_t flags = 0) { return {name, true, false, flags}; }
FoundEntry link(std::string_view name) { return {name, false, true, 0}; }

TEST(ItemFilter, NoCriteriaAcceptsEverything) {
  ItemFilter filter{SearchDescriptor{}};
  EXPECT_TRUE(filter.accepts(file("a")));
  EXPECT_TRUE(filter.accepts(folder(".hidden")));
  EXPECT_FALSE(filter.needsFinderInfo());
}

TEST(ItemFilter, NegatedNameKeepsNamesThatFailTheOption) {
  SearchDescriptor criteria;
  criteria.name = NameCriterion{false, NameSearchOption::contains({"tmp"}), true};
  ItemFilter filter{criteria};
  EXPECT_FALSE(filter.accepts(file("a.TMP")));
  EXPECT_TRUE(filter.accepts(file("keep.txt")));
}

TEST(ItemFilter, ExtensionComparesTheTextAfterTheLastStop) {
  SearchDescriptor criteria;
  criteria.extension = ExtensionCriterion{"txt", false};
  ItemFilter filter{criteria};
  EXPECT_TRUE(filter.accepts(file("a.b.txt")));
  EXPECT_FALSE(filter.accepts(file("a.TXT")));
  EXPECT_FALSE(filter.accepts(file(".txt")));
  criteria.extension->negate = true;
  EXPECT_TRUE(ItemFilter{criteria}.accepts(file("a.md")));
  EXPECT_FALSE(ItemFilter{criteria}.accepts(file("a.txt")));
  EXPECT_EQ(ItemFilter::pathExtension("noext"), "");
  EXPECT_EQ(ItemFilter::pathExtension("trailing."), "");
}

TEST(ItemFilter, VisibilityUsesTheLeadingStopOrTheInvisibleFlag) {
  SearchDescriptor criteria;
  criteria.invisible = true;
  ItemFilter invisibleOnly{criteria};
  EXPECT_TRUE(invisibleOnly.accepts(file(".profile")));
  // Flagged invisible without a leading stop: still invisible.
  EXPECT_TRUE(invisibleOnly.accepts(file("Icon", FinderInfo::kIsInvisible)));
  EXPECT_FALSE(invisibleOnly.accepts(file("shown")));
  criteria.invisible = false;
  ItemFilter visibleOnly{criteria};
  EXPECT_TRUE(visibleOnly.accepts(file("shown")));
  EXPECT_FALSE(visibleOnly.accepts(file("Icon", FinderInfo::kIsInvisible)));
  EXPECT_FALSE(visibleOnly.descendsInto(folder(".git")));
}

TEST(ItemFilter, DirectoryTypeKeepsFoldersOnly) {
  SearchDescriptor criteria;
  criteria.type = TypeDescriptor::directory();
  ItemFilter filter{criteria};
  EXPECT_TRUE(filter.accepts(folder("d")));
  EXPECT_FALSE(filter.accepts(file("f")));
  EXPECT_FALSE(filter.accepts(link("l")));
}

TEST(ItemFilter, FileKindsTestFlagsAndLinks) {
  SearchDescriptor criteria;
  criteria.type = TypeDescriptor::file(FileKind::alias, true);
  ItemFilter notAlias{criteria};
  EXPECT_FALSE(notAlias.accepts(file("a", FinderInfo::kIsAlias)));
  EXPECT_TRUE(notAlias.accepts(file("b")));
  EXPECT_FALSE(notAlias.accepts(folder("d")));

  criteria.type = TypeDescriptor::file(FileKind::stationery);
  EXPECT_TRUE(ItemFilter{criteria}.accepts(file("s", FinderInfo::kIsStationery)));
  EXPECT_FALSE(ItemFilter{criteria}.accepts(file("s")));

  criteria.type = TypeDescriptor::file(FileKind::symlink);
  EXPECT_TRUE(ItemFilter{criteria}.accepts(link("l")));
  EXPECT_FALSE(ItemFilter{criteria}.accepts(file("f")));

  // Kinds without a test of their own pass either way.
  criteria.type = TypeDescriptor::file(FileKind::video, true);
  EXPECT_TRUE(ItemFilter{criteria}.accepts(file("f")));
}

TEST(ItemFilter, PackagesAreSkippedUnlessContentsAreIncluded) {
  SearchDescriptor criteria;
  ItemFilter skipping{criteria};
  EXPECT_FALSE(skipping.descendsInto(folder("Tool.app")));
  EXPECT_FALSE(skipping.descendsInto(folder("Bundle", FinderInfo::kHasBundle)));
  EXPECT_TRUE(skipping.descendsInto(folder("plain")));
  EXPECT_TRUE(skipping.needsFolderFinderInfo());
  criteria.includePackageContents = true;
  EXPECT_TRUE(ItemFilter{criteria}.descendsInto(folder("Tool.app")));
  EXPECT_FALSE(ItemFilter{criteria}.descendsInto(link("linked")));
}

TEST(ItemFilter, PackageRequirementIsTested) {
  SearchDescriptor criteria;
  criteria.isPackage = true;
  EXPECT_TRUE(ItemFilter{criteria}.accepts(folder("Tool.app")));
  EXPECT_FALSE(ItemFilter{criteria}.accepts(folder("plain")));
  EXPECT_FALSE(ItemFilter{criteria}.accepts(file("x.app")));
  criteria.isPackage = false;
  EXPECT_FALSE(ItemFilter{criteria}.accepts(folder("Tool.app")));
}

}  // namespace
}  // namespace ml::find

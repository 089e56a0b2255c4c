#include "files/FinderMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "files/FileSystem.h"
#include "files/FinderLabels.h"
#include "files/Files.h"
#include "files/MutableAppleAttributes.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/foundation/PropertyList.h"
#include "support/FileFixtures.h"
#include "support/Unprivileged.h"

namespace ml::files {
namespace {

using foundation::PlistValue;
using foundation::PropertyList;

Bytes binary(const PlistValue& value) { return PropertyList::toBinary(value).value(); }

TEST(FinderComment, WrittenCommentReadsBackAndIsStoredAsABinaryPropertyList) {
  test::TempDir dir;
  Path path(dir.write("f", ""));
  MutableAppleAttributes record(*path.fileSystem().finderAttributes(path));
  record.setComments("caf\xC3\xA9 notes");
  ASSERT_TRUE(path.fileSystem().updateFinderAttributes(path, record));
  EXPECT_EQ(path.fileSystem().finderAttributes(path)->comments(), "caf\xC3\xA9 notes");
  auto raw = darwin::extendedAttribute(path.url(), kFinderCommentAttribute);
  ASSERT_TRUE(raw);
  EXPECT_EQ(std::string(raw->begin(), raw->begin() + 8), "bplist00");

  MutableAppleAttributes clear(*path.fileSystem().finderAttributes(path));
  clear.setComments(std::nullopt);
  ASSERT_TRUE(path.fileSystem().updateFinderAttributes(path, clear));
  EXPECT_FALSE(darwin::extendedAttribute(path.url(), kFinderCommentAttribute));
  EXPECT_TRUE(path.fileSystem().updateFinderAttributes(path, clear));  // nothing to remove: nothing happens
}

TEST(FinderComment, NonStringOrCorruptValuesReadAsNone) {
  test::TempDir dir;
  const auto file = dir.write("f", "");
  ASSERT_TRUE(darwin::setExtendedAttribute(file, binary(PlistValue(42)), kFinderCommentAttribute));
  EXPECT_EQ(Files::comment(Path(file)), std::nullopt);
  ASSERT_TRUE(darwin::setExtendedAttribute(file, Bytes{'b', 'p', 'l', 'i', 's', 't', '0', '0', 1}, kFinderCommentAttribute));
  EXPECT_EQ(Files::comment(Path(file)), std::nullopt);
}

TEST(FinderComment, SetCommentReportsFailures) {
  test::TempDir dir;
  const auto file = dir.write("f", "");
  ASSERT_TRUE(Files::setComment(Path(file), "hello"));
  EXPECT_EQ(Files::comment(Path(file)), "hello");
  const auto missing = Files::setComment(Path(dir.path() / "gone"), "x");
  ASSERT_FALSE(missing);
  EXPECT_TRUE(missing.error().isPosix(ENOENT)) << missing.error();
  test::ImmutableItem locked(file);
  if (!locked.ok()) GTEST_SKIP() << "cannot set the immutable flag here" << (test::isPrivileged() ? "" : ": needs root");
  EXPECT_FALSE(Files::setComment(Path(file), "changed"));
  EXPECT_EQ(Files::comment(Path(file)), "hello");
}

TEST(FinderTags, KnownLabelsComeWithTheirColourAndCustomNamesWithout) {
  test::TempDir dir;
  const auto file = dir.write("f", "");
  ASSERT_TRUE(darwin::setExtendedAttribute(
      file, binary(PlistValue(PlistValue::Array{PlistValue("Red\n6"), PlistValue("Project X"), PlistValue(3)})),
      kUserTagsAttribute));
  EXPECT_EQ(decodeTagNames(*darwin::extendedAttribute(file, kUserTagsAttribute)),
            (std::vector<std::string>{"Red", "Project X"}));
  test::XdgSandbox sandbox;
  setenv("HOME", dir.path().c_str(), 1);  // no synced preferences there: the workspace labels
  auto tags = FileSystems::defaultFileSystem()->finderAttributes(Path(file))->tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_TRUE(tags.count(FinderTag{"Project X", std::nullopt}));
  auto red = std::find_if(tags.begin(), tags.end(), [](const FinderTag& tag) { return tag.name == "Red"; });
  ASSERT_NE(red, tags.end());
  ASSERT_TRUE(red->color);
  EXPECT_EQ(red->color->name, "Red");
}

TEST(FinderLabels, WithoutPreferencesTheWorkspaceLabelsAreUsed) {
  test::TempDir dir;
  auto labels = finderLabels(false, dir.path() / "missing.plist");
  ASSERT_EQ(labels.size(), 8u);
  EXPECT_EQ(labels[0].name, "None");
  ASSERT_TRUE(labels[0].color);
  EXPECT_EQ(labels[0].color->name, "");
  EXPECT_EQ(labels[6].color->name, "Red");
  EXPECT_TRUE(finderLabels(true, dir.path() / "missing.plist").empty());
}

TEST(FinderLabels, PreferencesGiveTagsAndSkipEntriesWithoutNamesOrWithBadIndexes) {
  test::TempDir dir;
  auto entry = [](PlistValue::Dictionary d) { return PlistValue(std::move(d)); };
  PlistValue::Array tags = {entry({{"n", "Work"}, {"l", 4}}),  entry({{"n", "Red"}, {"l", 6}}),
                            entry({{"n", "Plain"}}),            entry({{"l", 2}}),
                            entry({{"n", "Odd"}, {"l", 99}}),   entry({{"n", "Negative"}, {"l", -1}})};
  PlistValue root(PlistValue::Dictionary{
      {"values", PlistValue(PlistValue::Dictionary{
                     {"FinderTagDict", PlistValue(PlistValue::Dictionary{
                                           {"value", PlistValue(PlistValue::Dictionary{{"FinderTags", tags}})}})}})}});
  const auto file = dir.path() / "finder.plist";
  const auto bytes = binary(root);
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));

  auto all = finderLabels(false, file);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].name, "Work");
  EXPECT_EQ(all[0].color->name, "Blue");
  EXPECT_FALSE(all[2].color);
  EXPECT_EQ(all[3].name, "Odd");
  EXPECT_FALSE(all[3].color);
  EXPECT_FALSE(all[4].color);
  auto custom = finderLabels(true, file);
  EXPECT_EQ(custom.size(), 4u);  // "Red" is a workspace label
}

TEST(FinderTagValues, EqualityAndHashingFollowTheColourText) {
  Color a{"#FF0000", "Red"}, b{"#FF0000", "Other"};
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<Color>()(a), std::hash<Color>()(b));
  EXPECT_EQ((FinderTag{"t", a}), (FinderTag{"t", b}));
  EXPECT_EQ(std::hash<FinderTag>()(FinderTag{"t", a}), std::hash<FinderTag>()(FinderTag{"t", b}));
  EXPECT_NE((FinderTag{"t", a}), (FinderTag{"t", std::nullopt}));
  EXPECT_NE((FileSize{1, 2}), (FileSize{1, 3}));
}

}  // namespace
}  // namespace ml::files

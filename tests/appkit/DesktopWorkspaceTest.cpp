#include "appkit/DesktopWorkspace.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

TEST(DesktopWorkspace, RecycleReportsTheItemsThatWentAndAnErrorForTheOthers) {
  test::TempDir home, items;
  FreedesktopTrash trash(FreedesktopTrash::Options{home.path() / "Trash", [] { return std::vector<fs::path>{}; },
                                                   static_cast<uid_t>(-1)});
  auto a = items.write("a", "");
  auto b = items.write("b", "");

  auto [recycled, error] = DesktopWorkspace::recycleNow(trash, {a, items.path() / "missing", b});

  EXPECT_EQ(recycled, (std::vector<fs::path>{a, b}));
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->isPosix(ENOENT));
  EXPECT_NE(error->message.find("missing"), std::string::npos);
}

TEST(DesktopWorkspace, RecycleNamesEveryItemThatFailed) {
  test::TempDir home, items;
  FreedesktopTrash trash(FreedesktopTrash::Options{home.path() / "Trash", [] { return std::vector<fs::path>{}; },
                                                   static_cast<uid_t>(-1)});
  auto [recycled, error] = DesktopWorkspace::recycleNow(trash, {items.path() / "x", items.path() / "y"});
  EXPECT_TRUE(recycled.empty());
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message.starts_with("2 items could not be moved to the Trash: ")) << error->message;
  EXPECT_NE(error->message.find("/y"), std::string::npos);
}

TEST(DesktopWorkspace, RecycleOfTrashableItemsHasNoError) {
  test::TempDir home, items;
  FreedesktopTrash trash(FreedesktopTrash::Options{home.path() / "Trash", [] { return std::vector<fs::path>{}; },
                                                   static_cast<uid_t>(-1)});
  auto [recycled, error] = DesktopWorkspace::recycleNow(trash, {items.write("a", "")});
  EXPECT_EQ(recycled.size(), 1u);
  EXPECT_FALSE(error.has_value());
}

}  // namespace
}  // namespace ml::appkit

#include "appkit/DesktopWorkspace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "appkit/ToolkitFileNames.h"
#include "appkit/trashinfo/TrashInfo.h"
#include "platform/dispatch/Queue.h"
#include "support/FileFixtures.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace ml::appkit {
namespace {

namespace fs = std::filesystem;

// Runs every task at once, on the caller's thread.
class InlineQueue final : public dispatch::Queue {
 public:
  void async(std::function<void()> task) override { task(); }
};

// A file manager that answers nothing, so a reveal falls back to opening the items' folders.
class AbsentFileManager final : public FileManager {
 public:
  foundation::Status showItems(const std::vector<fs::path>&) override { return foundation::Error::posix(ENOENT); }
  foundation::Status showItemProperties(const std::vector<fs::path>&) override { return foundation::Error::posix(ENOENT); }
  foundation::Status quit() override { return {}; }
  foundation::Status launch() override { return {}; }
};

// Names that are not UTF-8 (Latin-1 "café", a folder "été") reach the desktop as the bytes they
// are: the default handler gets a file URL naming the very item, a named application the item's
// path, and the file manager's fallback the folder's URL. What cannot be opened is logged.
TEST(DesktopWorkspace, OpenAndRevealHandTheDesktopTheItemsOwnBytes) {
  test::TempDir dir;
  test::LogCapture log;
  const fs::path latin1 = dir.write("\xE9t\xE9/caf\xE9 1.txt", "x");
  InlineQueue queue;
  std::vector<QUrl> opened;
  bool accept = true;
  DesktopWorkspace workspace(std::make_shared<AbsentFileManager>(), nullptr, queue, queue, [&](const QUrl& url) {
    opened.push_back(url);
    return accept;
  });

  workspace.open(latin1, std::nullopt);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toEncoded().toStdString(), "file://" + encodeTrashPath(dir.path().native()) + "/%E9t%E9/caf%E9%201.txt");
  EXPECT_EQ(localPathOfUrl(opened[0]), latin1);
  EXPECT_EQ(fileUrlText(latin1), opened[0].toEncoded().toStdString());

  workspace.reveal({latin1});
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(localPathOfUrl(opened[1]), latin1.parent_path());

  // A handler that refuses, and an item that is not there, are logged and named.
  accept = false;
  workspace.open(latin1, std::nullopt);
  workspace.open(dir.path() / "gone.txt", std::nullopt);
  EXPECT_EQ(opened.size(), 3u);
  const std::string text = log.text();
  EXPECT_NE(text.find("failed to open item. path=" + latin1.string() + " application=(default) url=file://"), std::string::npos)
      << text;
  EXPECT_NE(text.find("failed to open item. path=" + (dir.path() / "gone.txt").string()), std::string::npos) << text;

  // A named application is started with the path's bytes as its argument.
  const fs::path got = dir.path() / "argument";
  const fs::path program = dir.write("tell.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + got.string() + ".part' && mv '" +
                                                    got.string() + ".part' '" + got.string() + "'\n");
  fs::permissions(program, fs::perms::owner_all);
  workspace.open(latin1, program.string());
  ASSERT_TRUE(test::waitUntil([&] { return fs::exists(got); }));
  std::ifstream in(got, std::ios::binary);
  std::stringstream received;
  received << in.rdbuf();
  EXPECT_EQ(received.str(), latin1.native());

  // One that cannot be started is logged with the reason.
  workspace.open(latin1, (dir.path() / "no-such-program").string());
  EXPECT_NE(log.text().find("application=" + (dir.path() / "no-such-program").string() + " error=start "),
            std::string::npos) << log.text();
}

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

TEST(DesktopWorkspace, RecycleNamesTheFirstItemsThatFailedAndCountsTheRest) {
  test::TempDir home, items;
  FreedesktopTrash trash(FreedesktopTrash::Options{home.path() / "Trash", [] { return std::vector<fs::path>{}; },
                                                   static_cast<uid_t>(-1)});
  std::vector<fs::path> missing;
  for (int i = 0; i < 8; ++i) missing.push_back(items.path() / ("x" + std::to_string(i)));
  auto [recycled, error] = DesktopWorkspace::recycleNow(trash, missing);
  EXPECT_TRUE(recycled.empty());
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message.starts_with("8 items could not be moved to the Trash: ")) << error->message;
  EXPECT_NE(error->message.find("/x4 ("), std::string::npos) << error->message;
  EXPECT_EQ(error->message.find("/x5"), std::string::npos) << error->message;
  EXPECT_TRUE(error->message.ends_with(", and 3 more")) << error->message;
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

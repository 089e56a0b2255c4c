#include "appkit/QtTypeDescriber.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TempDir.h"

namespace ml::appkit {
namespace {

// Items whose names are not UTF-8 get the kind and icon their contents and mode give, as items
// with UTF-8 names do: their text form names nothing, so the toolkit alone would see a missing
// file. A named pipe is never opened (that would block) and is described as a pipe.
TEST(QtTypeDescriber, DescribesItemsWhoseNamesAreNotUtf8ByTheirOwnBytes) {
  test::TempDir dir;
  const QtTypeDescriber describer;
  const std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n";
  const auto utf8 = dir.write("caf\xc3\xa9", pdf);
  const auto latin1 = dir.write("caf\xe9", pdf);
  ASSERT_TRUE(describer.kindDescription(utf8));
  EXPECT_EQ(describer.kindDescription(latin1), describer.kindDescription(utf8));
  EXPECT_EQ(describer.icon(latin1).themeName, describer.icon(utf8).themeName);

  const auto folder = dir.path() / "\xe9t\xe9";
  std::filesystem::create_directory(folder);
  EXPECT_EQ(describer.kindDescription(folder), describer.kindDescription(dir.path()));

  const auto pipe = dir.path() / "tuyau\xe9.txt";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const auto pipeKind = describer.kindDescription(pipe);
  ASSERT_TRUE(pipeKind);
  EXPECT_NE(pipeKind, describer.kindDescription(dir.write("plain.txt", "text")));
}

}  // namespace
}  // namespace ml::appkit

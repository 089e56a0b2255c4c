#include "files/VisibleName.h"

#include <gtest/gtest.h>

#include <string>

namespace ml::files {
namespace {

// Each row: a name on disk, the text an editor of its shown form hands back, and the name that
// text stands for. The editor's text is UTF-8; a byte that is not shows there as U+FFFD, and a
// byte-order mark that begins the text is dropped by the toolkit.
TEST(VisibleNameTest, AnEditedShownNameKeepsTheBytesOfWhatWasLeftAlone) {
  struct Case {
    std::string name, edited, expected;
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Case cases[] = {
      {"plain.txt", "other.md", "other.md"},
      {"caf\xE9.txt", "caf\uFFFD.txt", "caf\xE9.txt"},
      {"caf\xE9.txt", "cafe.txt", "cafe.txt"},  // the unreadable byte replaced by what was typed
      {"\xF0\x9F\x98", "\uFFFD\uFFFDx\uFFFD", std::string("\xF0\x9F") + "x\x98"},  // per byte
      {"new\nline.txt", "new\u21B5line.txt", "new\nline.txt"},
      {"new\nline.txt", "newline.txt", "newline.txt"},  // the mark deleted: the newline goes
      {"esc\x1b", "esc^X[", "esc^X["},  // a mark split by typing is text the user wrote
      {"del\x7f.txt", "del^?!.txt", "del\x7f!.txt"},
      {"a\u21B5b", "a\u21B5b", "a\u21B5b"},  // a name that holds the mark itself keeps it
      {"a\nb", "a\u21B5\u21B5b", "a\n\u21B5b"},
      {"aa", "a", "a"},
      {bom + "x", "x", bom + "x"},
      {bom + "x", "yx", bom + "yx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(editedName(c.name, c.edited), c.expected) << visibleName(c.name) << " edited to " << c.edited;
  }
}

}  // namespace
}  // namespace ml::files

#include "appkit/FinderScripts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ml::appkit::finder_scripts {
namespace {

TEST(FinderScripts, QuotedEscapesQuotesAndBackslashesOnly) {
  EXPECT_EQ(finder_scripts::quoted("plain"), "\"plain\"");
  EXPECT_EQ(finder_scripts::quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(finder_scripts::quoted("line\nbreak"), "\"line\nbreak\"");
}

TEST(FinderScripts, QuotedTextReadsBackUnchanged) {
  for (std::string text : {"", "x", "\"", "\\", "a\\\"b", "end\\", "\") & do shell script \"rm"}) {
    std::string literal = finder_scripts::quoted(text);
    std::string_view input = literal;
    auto read = readQuoted(input);
    ASSERT_TRUE(read.has_value()) << literal;
    EXPECT_EQ(*read, text);
    EXPECT_TRUE(input.empty());
  }
}

TEST(FinderScripts, MalformedLiteralsAreNotRead) {
  for (std::string_view bad : {"", "x\"", "\"open", "\"bad \\n escape\"", "\"trailing\\"}) {
    std::string_view input = bad;
    EXPECT_FALSE(readQuoted(input).has_value()) << bad;
  }
}

TEST(FinderScripts, InformationWindowScriptIsExact) {
  EXPECT_EQ(openInformationWindow("/Users/me/a.txt", false),
            "tell application \"Finder\" to open information window of file (POSIX file \"/Users/me/a.txt\")");
  EXPECT_EQ(openInformationWindow("/Users/me", true),
            "tell application \"Finder\" to open information window of folder (POSIX file \"/Users/me\")");
}

TEST(FinderScripts, FileNameWithQuoteCannotChangeTheInformationWindowScript) {
  std::string hostile = "/tmp/x\") \ndo shell script \"touch /tmp/pwned";
  std::string script = openInformationWindow(hostile, false);
  auto parsed = parseInformationWindow(script);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->path, hostile);
  EXPECT_FALSE(parsed->isFolder);
}

TEST(FinderScripts, InformationWindowParserRejectsOtherScripts) {
  EXPECT_FALSE(parseInformationWindow("tell application \"Finder\" to open information window of disk (POSIX file \"/\")"));
  EXPECT_FALSE(parseInformationWindow(openInformationWindow("/a", true) + " and more"));
  EXPECT_FALSE(parseInformationWindow(countTrashItems()));
  auto folder = parseInformationWindow(openInformationWindow("/a", true));
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->isFolder);
}

TEST(FinderScripts, EmptyTrashScriptHasFourteenLinesAndNoFinalLineFeed) {
  std::string script = emptyTrash();
  EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 13);
  EXPECT_NE(script.back(), '\n');
  EXPECT_TRUE(script.starts_with("on run\n  set currentApp to short name of (info for (path to frontmost application))\n\n"));
  EXPECT_NE(script.find("as critical message \xC2\xAC\n        \"You cannot undo this action.\""), std::string::npos);
  EXPECT_TRUE(script.ends_with("\n\n  tell application currentApp to activate\nend run"));
}

}  // namespace
}  // namespace ml::appkit::finder_scripts

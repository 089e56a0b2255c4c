#include "platform/foundation/LocalizedStrings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace ml::foundation {
namespace {

TEST(StringsTableTest, ReadsQuotedAndBareEntriesWithComments) {
  auto table = StringsTable::parse(R"(/* Menu titles */
"Trash Can is already empty." = "Der Papierkorb ist bereits leer.";
// a bare entry
Close = Fenster schließen
"Escapes" = "tab\there \"quoted\" back\\slash \u00FC \uD83D\uDE00";
"Self";
Spaced key   =   trailing semicolon ;
)");
  EXPECT_EQ(table.lookup("Trash Can is already empty."), "Der Papierkorb ist bereits leer.");
  EXPECT_EQ(table.lookup("Close"), "Fenster schließen");
  EXPECT_EQ(table.lookup("Escapes"), "tab\there \"quoted\" back\\slash \xC3\xBC \xF0\x9F\x98\x80");
  EXPECT_EQ(table.lookup("Self"), "Self");
  EXPECT_EQ(table.lookup("Spaced key"), "trailing semicolon");
  EXPECT_FALSE(table.lookup("Menu titles").has_value());
}

TEST(StringsTableTest, SkipsMalformedEntriesAndKeepsTheRest) {
  auto table = StringsTable::parse("no equals sign here\n= no key\n\"a\" = ;\nGood = yes\n\"open\" = \"never closed");
  EXPECT_FALSE(table.lookup("no equals sign here").has_value());
  EXPECT_EQ(table.lookup("Good"), "yes");
  EXPECT_FALSE(table.lookup("open").has_value());
}

TEST(StringsTableTest, ReadsUtf16WithByteOrderMark) {
  std::string utf16le = std::string("\xFF\xFE", 2);
  for (char c : std::string("\"OK\" = \"Gut\";")) {
    utf16le += c;
    utf16le += '\0';
  }
  EXPECT_EQ(StringsTable::parse(utf16le).lookup("OK"), "Gut");
}

class LocalizedStringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("MARROWLANE_RESOURCES", resources_.path().c_str(), 1);
    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(v);
    setenv("LANG", "C.UTF-8", 1);
  }
  void TearDown() override { unsetenv("MARROWLANE_RESOURCES"); }
  test::TempDir resources_;
};

TEST_F(LocalizedStringTest, TheKeyStandsInWithoutTableOrEntry) {
  EXPECT_EQ(localizedString("Trash Can is already empty."), "Trash Can is already empty.");
  resources_.write("Localizable.strings", "\"OK\" = \"Okay\";\n");
  EXPECT_EQ(localizedString("OK"), "Okay");
  EXPECT_EQ(localizedString("Cancel"), "Cancel");
}

TEST_F(LocalizedStringTest, PrefersTheTableOfTheUsersLanguage) {
  resources_.write("Localizable.strings", "OK = Okay\n");
  resources_.write("de.lproj/Localizable.strings", "OK = Gut\n");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(localizedString("OK"), "Gut");
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(localizedString("OK"), "Okay");
}

}  // namespace
}  // namespace ml::foundation

#include "platform/foundation/Preferences.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Dates.h"
#include "platform/logging/Log.h"
#include "support/TempDir.h"

namespace ml::foundation {
namespace {

using Format = PropertyList::Format;

std::vector<std::filesystem::path> setAsideFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().find(".corrupt-") != std::string::npos) found.push_back(entry.path());
  return found;
}

class PreferencesTest : public ::testing::Test {
 protected:
  std::filesystem::path file() const { return dir_.path() / "prefs" / "org.marrowlane.Marrowlane.plist"; }
  test::TempDir dir_;
};

class PreferencesRestartTest : public PreferencesTest, public ::testing::WithParamInterface<Format> {};

TEST_P(PreferencesRestartTest, ValuesOfEveryTypeSurviveARestart) {
  auto when = *Dates::parseIso8601("2026-12-07T08:00:00.123Z");
  PlistValue::Dictionary dictionary{{"characters", PlistValue("L")}, {"modifiers", PlistValue(2)}};
  {
    Preferences preferences(file(), GetParam());
    preferences.set("startupAction", "newList");
    preferences.set("count", 42);
    preferences.set("ratio", 0.5);
    preferences.set("debugLogs", true);
    preferences.set("when", when);
    preferences.set("dropkeys", PlistValue::Data{'{', '}'});
    preferences.set("find-name-history", PlistValue::Array{PlistValue("a"), PlistValue("b")});
    preferences.set("binding", dictionary);
    preferences.set("gone", "soon");
    preferences.remove("gone");
  }
  Preferences reopened(file());
  EXPECT_EQ(reopened.string("startupAction"), "newList");
  EXPECT_EQ(reopened.integer("count"), 42);
  EXPECT_EQ(reopened.real("ratio"), 0.5);
  EXPECT_EQ(reopened.boolean("debugLogs"), true);
  // The XML date syntax holds whole seconds.
  EXPECT_EQ(reopened.date("when"), GetParam() == Format::binary ? when : std::chrono::floor<std::chrono::seconds>(when));
  EXPECT_EQ(reopened.data("dropkeys"), (PlistValue::Data{'{', '}'}));
  EXPECT_EQ(reopened.array("find-name-history"), (PlistValue::Array{PlistValue("a"), PlistValue("b")}));
  EXPECT_EQ(reopened.dictionary("binding"), dictionary);
  EXPECT_FALSE(reopened.object("gone").has_value());
  EXPECT_EQ(reopened.values().size(), 8u);
  // The file keeps the format it was written in.
  auto bytes = readWholeFile(file(), 1 << 20);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(PropertyList::detectFormat(*bytes), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Formats, PreferencesRestartTest, ::testing::Values(Format::binary, Format::xml));

TEST_F(PreferencesTest, MissingFileGivesAnEmptyStoreAndNoFile) {
  Preferences preferences(file());
  EXPECT_FALSE(preferences.string("startupAction").has_value());
  EXPECT_FALSE(preferences.boolean("debugLogs").has_value());
  EXPECT_FALSE(std::filesystem::exists(file()));
  EXPECT_FALSE(preferences.setAsideFile().has_value());
}

TEST_F(PreferencesTest, TruncatedFileIsSetAsideLoggedAndDefaultsUsed) {
  std::vector<std::uint8_t> full;
  {
    Preferences preferences(file());
    preferences.set("startupAction", "find");
    preferences.set("find-name-history", PlistValue::Array{PlistValue("x")});
    full = *readWholeFile(file(), 1 << 20);
  }
  std::vector<std::uint8_t> truncated(full.begin(), full.begin() + static_cast<long>(full.size() / 2));
  ASSERT_TRUE(writeFileAtomically(file(), truncated).ok());

  logging::Log::resetForTesting();
  ASSERT_TRUE(logging::Log::enable(
      {logging::RotatingLogFileConfiguration(logging::LogSeverity::error, 3, dir_.path() / "logs", false)}));
  Preferences preferences(file());
  logging::Log::flush();
  logging::Log::resetForTesting();

  EXPECT_FALSE(preferences.string("startupAction").has_value());
  ASSERT_TRUE(preferences.setAsideFile().has_value());
  auto aside = setAsideFiles(file().parent_path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0], *preferences.setAsideFile());
  EXPECT_EQ(*readWholeFile(aside[0], 1 << 20), truncated) << "the damaged bytes are kept";
  EXPECT_FALSE(std::filesystem::exists(file()));

  std::string logged;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "logs")) {
    std::ifstream in(entry.path());
    logged.assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_NE(logged.find("unreadable preferences set aside, using defaults. path="), std::string::npos) << logged;

  preferences.set("startupAction", "none");
  EXPECT_EQ(Preferences(file()).string("startupAction"), "none");
}

TEST_F(PreferencesTest, EmptyNonDictionaryAndGarbageFilesAreSetAsideEachTime) {
  for (std::string contents : {std::string(), std::string("garbage"), std::string("<plist><string>x</string></plist>")}) {
    std::filesystem::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << contents;
    Preferences preferences(file());
    EXPECT_TRUE(preferences.values().empty()) << contents;
    EXPECT_TRUE(preferences.setAsideFile().has_value()) << contents;
  }
  EXPECT_EQ(setAsideFiles(file().parent_path()).size(), 3u) << "an earlier set-aside file is never replaced";
}

TEST_F(PreferencesTest, TypedReadsConvertLikeOtherStores) {
  Preferences preferences(file());
  preferences.set("int", 3);
  preferences.set("real", 2.75);
  preferences.set("yes", "YES");
  preferences.set("no", "false");
  preferences.set("number text", "17");
  EXPECT_EQ(preferences.real("int"), 3.0);
  EXPECT_EQ(preferences.integer("real"), 2);
  EXPECT_EQ(preferences.boolean("int"), true);
  EXPECT_EQ(preferences.boolean("yes"), true);
  EXPECT_EQ(preferences.boolean("no"), false);
  EXPECT_EQ(preferences.integer("number text"), 17);
  EXPECT_FALSE(preferences.string("int").has_value());
  EXPECT_FALSE(preferences.date("int").has_value());
  EXPECT_FALSE(preferences.array("yes").has_value());
  EXPECT_FALSE(preferences.integer("yes").has_value());
}

TEST_F(PreferencesTest, ValueTheFileCannotHoldIsRefusedAndLaterSavesStillWork) {
  Preferences preferences(file());
  preferences.set("kept", "old");
  preferences.set("kept", std::string("bad\0value", 9));
  preferences.set("fresh", std::string("nul\0", 4));
  EXPECT_EQ(preferences.string("kept"), "old");
  EXPECT_FALSE(preferences.object("fresh").has_value());
  preferences.set("later", 1);
  EXPECT_TRUE(preferences.save().ok());
  EXPECT_EQ(Preferences(file()).integer("later"), 1);
}

TEST_F(PreferencesTest, ConcurrentWritersLoseNoKey) {
  Preferences preferences(file());
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) preferences.set("k" + std::to_string(t) + "-" + std::to_string(i), i);
    });
  for (auto& thread : threads) thread.join();
  Preferences reopened(file());
  EXPECT_EQ(reopened.values().size(), 160u);
  EXPECT_EQ(reopened.integer("k7-19"), 19);
}

TEST_F(PreferencesTest, WritesLeaveNoTemporaryFilesAndArePrivate) {
  Preferences preferences(file());
  preferences.set("a", 1);
  preferences.set("b", 2);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(file().parent_path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"org.marrowlane.Marrowlane.plist"});
  auto perms = std::filesystem::status(file()).permissions();
  EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(PreferencesStandardTest, LivesInTheXdgConfigFolderPerSandbox) {
  test::XdgSandbox first;
  auto& a = Preferences::standard();
  EXPECT_EQ(a.file(), first.root() / "XDG_CONFIG_HOME" / "org.marrowlane.Marrowlane" / "org.marrowlane.Marrowlane.plist");
  EXPECT_EQ(&Preferences::standard(), &a);
  a.set("debugLogs", true);
  EXPECT_TRUE(std::filesystem::exists(a.file()));
  test::XdgSandbox second;
  EXPECT_NE(&Preferences::standard(), &a);
  EXPECT_FALSE(Preferences::standard().boolean("debugLogs").has_value());
}

}  // namespace
}  // namespace ml::foundation

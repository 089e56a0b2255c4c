#include <gtest/gtest.h>

#include <thread>

#include "LogCapture.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Dates.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

using foundation::PlistValue;
using namespace std::chrono_literals;

class TLUserDefaultsTest : public ::testing::Test {
 protected:
  test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
};

TEST_F(TLUserDefaultsTest, PlainKeysAreStoredUnprefixed) {
  settings.setObject(PlistValue(true), "TLBeaconIsEnabled");
  EXPECT_EQ(preferences.boolean("TLBeaconIsEnabled"), true);
  EXPECT_EQ(settings.objectForKey("TLBeaconIsEnabled"), PlistValue(true));
  settings.removeObjectForKey("TLBeaconIsEnabled");
  EXPECT_FALSE(settings.objectForKey("TLBeaconIsEnabled"));
}

TEST_F(TLUserDefaultsTest, SameDictionaryTwiceWritesOnceAndStampsTheTime) {
  PlistValue::Dictionary values{{"a", PlistValue(1)}, {"b", PlistValue("x")}};
  EXPECT_EQ(settings.updateDictionary(values, "key"), values);
  auto stored = preferences.dictionary("key");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->at("_ts").real(), foundation::Dates::timeIntervalSinceReferenceDate(clock.now()));
  EXPECT_EQ(stored->size(), 3u);
  clock.advance(1s);
  EXPECT_TRUE(settings.updateDictionary(values, "key").empty());
  EXPECT_EQ(preferences.dictionary("key")->at("_ts").real(), stored->at("_ts").real());  // not rewritten
}

TEST_F(TLUserDefaultsTest, OnlyChangedEntriesAreWrittenOverTheStoredOnes) {
  settings.updateDictionary({{"a", PlistValue(1)}, {"b", PlistValue(2)}}, "key");
  auto written = settings.updateDictionary({{"a", PlistValue(1)}, {"b", PlistValue(3)}, {"c", PlistValue(4)}}, "key");
  EXPECT_EQ(written, (PlistValue::Dictionary{{"b", PlistValue(3)}, {"c", PlistValue(4)}}));
  auto stored = *preferences.dictionary("key");
  EXPECT_EQ(stored.at("a"), PlistValue(1));
  EXPECT_EQ(stored.at("b"), PlistValue(3));
  EXPECT_EQ(stored.at("c"), PlistValue(4));
}

TEST_F(TLUserDefaultsTest, ExpiredValueIsWrittenInFull) {
  PlistValue::Dictionary values{{"a", PlistValue(1)}};
  settings.updateDictionary(values, "key", 10);
  clock.advance(9s);
  EXPECT_TRUE(settings.updateDictionary(values, "key", 10).empty());
  clock.advance(2s);  // 11 s after the write
  EXPECT_EQ(settings.updateDictionary(values, "key", 10), values);
}

TEST_F(TLUserDefaultsTest, UpdateObjectTellsWhetherTheValueChanged) {
  EXPECT_TRUE(settings.updateObject(PlistValue("v1"), "obj"));
  EXPECT_FALSE(settings.updateObject(PlistValue("v1"), "obj"));
  EXPECT_TRUE(settings.updateObject(PlistValue("v2"), "obj"));
  EXPECT_EQ(preferences.dictionary("obj")->at("v"), PlistValue("v2"));
}

TEST_F(TLUserDefaultsTest, UpdatesLogTheStoredAndTheWrittenEntries) {
  test::LogCapture capture;
  settings.updateDictionary({{"a", PlistValue(1)}}, "key");
  EXPECT_EQ(capture.count(TLLogLevel::verbose, "Settings:store[key]="), 1u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, R"(Settings:update[key]={"a":1})"), 1u);
}

TEST_F(TLUserDefaultsTest, ConcurrentMergeUpdatesOfOneKeyLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kEntries = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEntries; ++i) {
        settings.updateDictionary({{"t" + std::to_string(t) + "-" + std::to_string(i), PlistValue(i)}}, "shared");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  auto stored = preferences.dictionary("shared");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->size(), static_cast<std::size_t>(kThreads * kEntries + 1));  // + "_ts"
}

TEST(TLUserDefaultsShared, WritesTheApplicationsPreferences) {
  test::XdgSandbox sandbox;
  TLUserDefaults::shared().setObject(PlistValue("id"), "TLInstallId");
  EXPECT_EQ(foundation::Preferences::standard().string("TLInstallId"), "id");
}

}  // namespace
}  // namespace ml::beacon

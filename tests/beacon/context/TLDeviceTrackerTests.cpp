#include "ContextFixture.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Context/TLMainScreen.h"
#include "platform/foundation/AppIdentity.h"

namespace ml::beacon {
namespace {

class TLDeviceTrackerTest : public ContextTest {
 protected:
  TLDeviceTrackerTest() {
    TLDeviceTracker::resetSharedInstance();
    TLMainScreen::installProvider({});
    facts.write("dmi/product_name", "Workstation 9\n");
    facts.write("dmi/sys_vendor", "Maker Inc.\n");
    facts.write("os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
  }
  ~TLDeviceTrackerTest() override {
    TLDeviceTracker::resetSharedInstance();
    TLMainScreen::installProvider({});
  }
  std::unique_ptr<TLDeviceTracker> make() {
    return std::make_unique<TLDeviceTracker>(
        settings, clock, TLSystemInfo({facts.path() / "dmi", facts.path() / "os-release", facts.path() / "none"}));
  }

  ::ml::test::TempDir facts;
};

TEST_F(TLDeviceTrackerTest, RecordHoldsTheFactsOfThisMachineAndApplication) {
  auto tracker = make();
  auto device = tracker->device();
  ASSERT_TRUE(device);
  EXPECT_TRUE(device->isValid());
  EXPECT_EQ(device->model, "Workstation 9");
  EXPECT_EQ(device->oemName, "Maker Inc.");
  EXPECT_EQ(device->osName, "Debian GNU/Linux");
  EXPECT_EQ(device->osVersion, "12");
  EXPECT_TRUE(device->osBuild);
  EXPECT_EQ(device->screenSize, "0x0");
  EXPECT_EQ(device->appVersion, foundation::AppIdentity::version());
  EXPECT_EQ(device->appNamespace, "org.marrowlane.Marrowlane");
  EXPECT_FALSE(device->carrierCountry);
  EXPECT_FALSE(device->carrierName);
}

TEST_F(TLDeviceTrackerTest, ScreenSizeIsHeightThenWidthInPixels) {
  TLMainScreen::installProvider([] { return TLScreenMetrics{1440, 900, 2}; });
  EXPECT_EQ(make()->device()->screenSize, "1800x2880");
  EXPECT_EQ(TLMainScreen::screenSizeText(TLScreenMetrics{1366.7, 768.9, 1}), "768x1366");
  EXPECT_EQ(TLMainScreen::screenSizeText(TLScreenMetrics{1e300, 1e300, 1e300}), "0x0");
}

TEST_F(TLDeviceTrackerTest, RecordIsCachedUntilARefreshIsAsked) {
  auto tracker = make();
  auto first = tracker->device();
  EXPECT_EQ(tracker->device(), first);
  TLDeviceTracker::refreshDeviceNextTime();
  clock.advance(seconds(1));
  EXPECT_NE(tracker->device(), first);
  EXPECT_EQ(tracker->deviceHistory().size(), 2u);
}

TEST_F(TLDeviceTrackerTest, CountryCodeAndWrapperSdkMakeANewRecord) {
  auto tracker = make();
  tracker->device();
  clock.advance(seconds(1));
  tracker->setCountryCode("de");
  auto wrapper = std::make_shared<TLWrapperSdk>("1.0", "wrapper", "rt", "label", "key", "hash");
  tracker->setWrapperSdk(wrapper);
  auto device = tracker->device();
  EXPECT_EQ(device->carrierCountry, "de");
  EXPECT_EQ(device->wrapperSdkName, "wrapper");
  EXPECT_EQ(device->liveUpdatePackageHash, "hash");
  EXPECT_EQ(tracker->deviceHistory().size(), 2u);
}

TEST_F(TLDeviceTrackerTest, SixthRebuildDropsTheOldestRecord) {
  auto tracker = make();
  std::vector<std::shared_ptr<const TLDevice>> built;
  for (int i = 0; i < 6; ++i) {
    TLDeviceTracker::refreshDeviceNextTime();
    built.push_back(tracker->device());
    clock.advance(seconds(10));
  }
  auto history = tracker->deviceHistory();
  ASSERT_EQ(history.size(), 5u);
  EXPECT_EQ(history.front().device, built[1]);
  EXPECT_EQ(history.back().device, built[5]);
}

TEST_F(TLDeviceTrackerTest, DeviceAtATimeIsTheNewestStrictlyEarlierRecord) {
  auto tracker = make();
  Date start = clock.now();
  std::vector<std::shared_ptr<const TLDevice>> built;
  for (int i = 0; i < 3; ++i) {  // records at start, start + 10 s, start + 20 s
    TLDeviceTracker::refreshDeviceNextTime();
    built.push_back(tracker->device());
    clock.advance(seconds(10));
  }
  EXPECT_EQ(tracker->deviceForTimestamp(start - seconds(1)), built[0]);
  EXPECT_EQ(tracker->deviceForTimestamp(start + seconds(10)), built[0]);
  EXPECT_EQ(tracker->deviceForTimestamp(start + seconds(11)), built[1]);
  EXPECT_EQ(tracker->deviceForTimestamp(start + seconds(100)), built[2]);
  EXPECT_EQ(tracker->deviceForTimestamp(std::nullopt), built[2]);
}

TEST_F(TLDeviceTrackerTest, HistorySurvivesARestart) {
  auto device = make()->device();
  auto next = make();
  auto history = next->deviceHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_TRUE(history[0].device->isEqual(*device));
  EXPECT_TRUE(next->deviceForTimestamp(clock.now() + seconds(1))->isEqual(*device));
}

TEST_F(TLDeviceTrackerTest, ClearingForgetsTheRecordAndTheStoredHistory) {
  auto tracker = make();
  auto first = tracker->device();
  tracker->clearDevices();
  EXPECT_FALSE(settings.objectForKey(TLDeviceTracker::kHistoryKey));
  EXPECT_TRUE(tracker->deviceHistory().empty());
  EXPECT_NE(tracker->device(), first);
}

TEST_F(TLDeviceTrackerTest, UnreadableHistoryIsEmpty) {
  settings.setObject(foundation::PlistValue(foundation::PlistValue::Data{0, 1, 2}), TLDeviceTracker::kHistoryKey);
  EXPECT_TRUE(make()->deviceHistory().empty());
}

}  // namespace
}  // namespace ml::beacon

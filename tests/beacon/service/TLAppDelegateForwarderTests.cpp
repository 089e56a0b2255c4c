#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"

namespace ml::beacon {
namespace {

using foundation::PlistValue;

struct RecordingApplicationDelegate : TLCustomApplicationDelegate {
  explicit RecordingApplicationDelegate(std::vector<std::string>& calls, std::string name)
      : calls(calls), name(std::move(name)) {}
  void applicationDidFinishLaunching() override { calls.push_back(name + " launched"); }
  void applicationDidBecomeActive() override { calls.push_back(name + " active"); }
  void applicationDidResignActive() override { calls.push_back(name + " inactive"); }
  void applicationWillTerminate() override { calls.push_back(name + " terminating"); }
  std::vector<std::string>& calls;
  std::string name;
};

class TLAppDelegateForwarderTest : public ::testing::Test {
 protected:
  TLAppDelegateForwarderTest() { TLDelegateForwarder::resetTraceBuffer(); }
  ~TLAppDelegateForwarderTest() override { TLDelegateForwarder::resetTraceBuffer(); }

  ::ml::test::LogCapture capture;
  TLAppDelegateForwarder forwarder;
  std::vector<std::string> calls;
};

TEST_F(TLAppDelegateForwarderTest, InfoKeyTurnsTheForwarderOffAndItsAbsenceLeavesItOn) {
  forwarder.setEnabledFromPlistForKey(TLAppDelegateForwarder::kEnabledKey, {});
  EXPECT_TRUE(forwarder.isEnabled());
  forwarder.setEnabledFromPlistForKey(TLAppDelegateForwarder::kEnabledKey,
                                      {{"BeaconAppDelegateForwarderEnabled", PlistValue(false)}});
  EXPECT_FALSE(forwarder.isEnabled());
}

TEST_F(TLAppDelegateForwarderTest, TraceLinesAreHeldUntilTheFirstFlushThenRunInOrder) {
  forwarder.setEnabledFromPlistForKey(TLAppDelegateForwarder::kEnabledKey,
                                      {{"BeaconAppDelegateForwarderEnabled", PlistValue(false)}});
  EXPECT_TRUE(capture.lines().empty());
  TLDelegateForwarder::flushTraceBuffer();
  auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].message, "Start buffering traces.");
  EXPECT_EQ(lines[0].level, TLLogLevel::verbose);
  EXPECT_EQ(lines[1].message,
            "Delegate forwarder for info.plist key 'BeaconAppDelegateForwarderEnabled' disabled. It won't use "
            "swizzling.");
  EXPECT_EQ(lines[1].level, TLLogLevel::debug);
  EXPECT_EQ(lines[2].message, "Stop buffering traces, flushed.");
}

TEST_F(TLAppDelegateForwarderTest, TraceBlocksAfterTheFlushRunAtOnceAndLaterFlushesDoNothing) {
  TLDelegateForwarder::flushTraceBuffer();
  capture.clear();
  int ran = 0;
  TLDelegateForwarder::addTraceBlock([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  TLDelegateForwarder::flushTraceBuffer();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(capture.lines().empty());
}

TEST_F(TLAppDelegateForwarderTest, LifecycleReachesEveryLiveDelegateInRegistrationOrder) {
  auto first = std::make_shared<RecordingApplicationDelegate>(calls, "first");
  auto second = std::make_shared<RecordingApplicationDelegate>(calls, "second");
  auto gone = std::make_shared<RecordingApplicationDelegate>(calls, "gone");
  forwarder.addDelegate(first);
  forwarder.addDelegate(second);
  forwarder.addDelegate(first);
  forwarder.addDelegate(gone);
  gone.reset();
  forwarder.applicationDidFinishLaunching();
  forwarder.applicationDidBecomeActive();
  forwarder.removeDelegate(first);
  forwarder.applicationDidResignActive();
  forwarder.applicationWillTerminate();
  EXPECT_EQ(calls, (std::vector<std::string>{"first launched", "second launched", "first active", "second active",
                                             "second inactive", "second terminating"}));
}

TEST_F(TLAppDelegateForwarderTest, SwitchedOffForwarderForgetsAndRefusesDelegates) {
  auto delegate = std::make_shared<RecordingApplicationDelegate>(calls, "d");
  forwarder.addDelegate(delegate);
  forwarder.setEnabled(false);
  forwarder.addDelegate(delegate);
  forwarder.applicationDidFinishLaunching();
  forwarder.setEnabled(true);
  forwarder.applicationDidFinishLaunching();
  EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace ml::beacon

#pragma once
// What every channel test needs: XDG folders of its own (the log store and the key store live
// there), a settings store, virtual time, the contexts over both, a hand-drained queue, the
// real log store behind a recording wrapper, a fake ingestion and the telemetry logger's lines.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ChannelFakes.h"
#include "LogCapture.h"
#include "beacon/core/Channel/TLChannelEnvironment.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/foundation/Preferences.h"
#include "platform/security/RandomSource.h"
#include "support/TempDir.h"

namespace ml::beacon::test {

class ChannelTest : public ::testing::Test {
 protected:
  using seconds = std::chrono::seconds;
  using milliseconds = std::chrono::milliseconds;

  // Tasks left on the queue hold their units, which hold the queue.
  ~ChannelTest() override { queue->drain(); }

  TLChannelEnvironment environment() { return {&clock, &settings, authTokens, devices}; }
  std::uint64_t storedLogs() { return store->countLogs(); }

  ::ml::test::XdgSandbox sandbox;
  ::ml::test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
  std::shared_ptr<TLAuthTokenContext> authTokens = std::make_shared<TLAuthTokenContext>(
      settings, clock, std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock));
  std::shared_ptr<TLDeviceTracker> devices = std::make_shared<TLDeviceTracker>(settings, clock);
  std::shared_ptr<ManualQueue> queue = std::make_shared<ManualQueue>();
  std::shared_ptr<TLLogDBStorage> store = std::make_shared<TLLogDBStorage>(
      std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock));
  std::shared_ptr<RecordingStorage> storage = std::make_shared<RecordingStorage>(store);
  std::shared_ptr<FakeIngestion> ingestion = std::make_shared<FakeIngestion>();
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  ::ml::test::LogCapture capture;
};

}  // namespace ml::beacon::test

#pragma once
// What the client and service tests need: XDG folders of their own (the shared settings store,
// the log store and the key store live there), fresh shared contexts, a client whose channel
// group runs on a hand-drained queue in virtual time over a fake ingestion, installed as the
// shared client, and test services.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "ChannelFakes.h"
#include "LogCapture.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/Service/TLServiceAbstract.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/ManualClock.h"
#include "support/TempDir.h"

namespace ml::beacon::test {

// A service with a name, priority and needs chosen by the test; records the states applied.
class FakeService : public TLServiceAbstract {
 public:
  FakeService(std::string className, std::int64_t priority, bool appSecretRequired = true, bool hasUnit = true)
      : className_(std::move(className)), priority_(priority), appSecretRequired_(appSecretRequired), hasUnit_(hasUnit) {}

  std::string_view className() const override { return className_; }
  std::string_view logTag() const override { return "BeaconFake"; }
  std::string groupId() const override { return className_.substr(2); }
  std::string serviceName() const override { return className_.substr(2); }
  std::int64_t initializationPriority() const override { return priority_; }
  bool isAppSecretRequired() const override { return appSecretRequired_; }
  std::optional<TLChannelUnitConfiguration> channelUnitConfiguration() const override {
    if (!hasUnit_) return std::nullopt;
    return TLChannelUnitConfiguration::defaultConfiguration(groupId());
  }
  void applyEnabledState(bool isEnabled) override {
    // What the store holds while the hook runs: the old state.
    applied.push_back({isEnabled, TLServiceAbstract::isEnabled()});
    TLServiceAbstract::applyEnabledState(isEnabled);
  }

  // The class handed to TLBeacon::start: its shared instance is this object.
  static TLServiceClass classOf(const std::shared_ptr<FakeService>& service) {
    return {std::string(service->className()), [service] { return std::shared_ptr<TLServiceCommon>(service); }};
  }

  struct Applied {
    bool requested;
    bool storedMeanwhile;
  };
  std::vector<Applied> applied;

 private:
  std::string className_;
  std::int64_t priority_;
  bool appSecretRequired_;
  bool hasUnit_;
};

// Sets an environment variable for the life of the object (nullptr: unset).
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Runs each task on a thread of its own while the calling thread works the channel's queue, until
// every task has ended. The wait is bounded: tasks still running after `limit` are taken for a
// deadlock, which ends the test process (its threads could never be joined).
inline void runConcurrently(ManualQueue& queue, std::vector<std::function<void()>> tasks,
                            std::chrono::seconds limit = std::chrono::seconds(120)) {
  std::atomic<std::size_t> ended = 0;
  std::vector<std::thread> threads;
  for (auto& task : tasks) {
    threads.emplace_back([&ended, task = std::move(task)] {
      task();
      ++ended;
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ended.load() < threads.size()) {
    if (std::chrono::steady_clock::now() > deadline) {
      std::fputs("runConcurrently: tasks still blocked after the limit, a deadlock\n", stderr);
      std::abort();
    }
    if (queue.drain() == 0) std::this_thread::yield();
  }
  for (auto& thread : threads) thread.join();
  queue.drain();
}

class ServiceTest : public ::testing::Test {
 protected:
  static constexpr const char* kSecret = "5c2e9a417d3b4f08b6e12a9d04c7f3e5";

  ServiceTest() { TLBeacon::resetSharedInstance(client); }
  ~ServiceTest() override {
    TLBeacon::resetSharedInstance();
    // Tasks left on the queue hold their units, which hold the queue.
    queue->drain();
  }

  // Fresh shared contexts and forwarder before the test's client is made, and again after it.
  struct SharedReset {
    SharedReset() { reset(); }
    ~SharedReset() { reset(); }
    static void reset() {
      TLSessionContext::resetSharedInstance();
      TLUserIdContext::resetSharedInstance();
      TLAuthTokenContext::resetSharedInstance();
      TLDeviceTracker::resetSharedInstance();
      TLAppDelegateForwarder::resetSharedInstance();
      TLDelegateForwarder::resetTraceBuffer();
    }
  };

  std::shared_ptr<TLBeacon> makeClient() {
    TLBeacon::Dependencies dependencies;
    dependencies.settings = &TLUserDefaults::shared();
    dependencies.makeChannelGroup = [this](const foundation::Uuid& installId, const std::string& logUrl) {
      groupInstallId = installId;
      groupLogUrl = logUrl;
      group = TLChannelGroupDefault::make(FakeIngestion::asDefault(ingestion), storage, queue,
                                          {&clock, &TLUserDefaults::shared(), TLAuthTokenContext::sharedInstance(),
                                           TLDeviceTracker::sharedInstance()});
      return group;
    };
    return std::make_shared<TLBeacon>(std::move(dependencies));
  }

  // The logs stored for a group, loaded as one batch.
  TLStorage::Logs storedLogs(const std::string& groupId) {
    queue->drain();
    TLStorage::Logs found;
    store->loadLogsWithGroupId(groupId, 1000, std::nullopt, std::nullopt, std::nullopt,
                               [&](const TLStorage::Logs& logs, const auto&) { found = logs; });
    return found;
  }
  // The stored logs of a group that are of type L.
  template <class L>
  std::vector<std::shared_ptr<L>> stored(const std::string& groupId) {
    std::vector<std::shared_ptr<L>> found;
    for (const auto& log : storedLogs(groupId)) {
      if (auto typed = std::dynamic_pointer_cast<L>(log)) found.push_back(typed);
    }
    return found;
  }
  // The services named by the stored start-service logs, one list per log.
  std::vector<std::vector<std::string>> startServiceLogs() {
    std::vector<std::vector<std::string>> lists;
    for (const auto& log : storedLogs("Beacon")) {
      if (auto* start = dynamic_cast<TLStartServiceLog*>(log.get())) lists.push_back(start->services.value_or(std::vector<std::string>{}));
    }
    return lists;
  }
  bool settingsBoolean(std::string_view key) {
    auto value = TLUserDefaults::shared().objectForKey(key);
    return value && value->boolean().value_or(false);
  }

  ::ml::test::XdgSandbox sandbox;
  SharedReset sharedReset;
  dispatch::ManualClock clock;
  std::shared_ptr<ManualQueue> queue = std::make_shared<ManualQueue>();
  std::shared_ptr<TLLogDBStorage> store = std::make_shared<TLLogDBStorage>();
  std::shared_ptr<RecordingStorage> storage = std::make_shared<RecordingStorage>(store);
  std::shared_ptr<FakeIngestion> ingestion = std::make_shared<FakeIngestion>();
  std::shared_ptr<TLChannelGroupDefault> group;
  std::optional<foundation::Uuid> groupInstallId;
  std::optional<std::string> groupLogUrl;
  ::ml::test::LogCapture capture;
  std::shared_ptr<TLBeacon> client = makeClient();
  std::shared_ptr<FakeService> crashes = std::make_shared<FakeService>("TLCrashes", 999);
  std::shared_ptr<FakeService> analytics = std::make_shared<FakeService>("TLAnalytics", 500, false);
};

}  // namespace ml::beacon::test

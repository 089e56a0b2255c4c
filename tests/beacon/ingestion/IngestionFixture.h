#pragma once
// A Beacon ingestion wired to a loopback HTTP server, a manual clock for its retry timers, a
// network monitor the test sets, and recorders of completions and delegate callbacks.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "LogCapture.h"
#include "ModelFixtures.h"
#include "beacon/core/Ingestion/TLBeaconIngestion.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/net/ManualNetworkMonitor.h"
#include "support/LocalHttpServer.h"

namespace ml::beacon::test {

// Polls `done` until it holds. The limit is a safety net against a hung test, not a measurement.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct RecordedCompletion {
  std::string callId;
  std::optional<int> statusCode;
  std::vector<std::uint8_t> data;
  std::optional<foundation::Error> error;
};

class CompletionRecorder {
 public:
  TLIngestionCompletion handler() {
    return [this](const std::string& callId, std::optional<int> statusCode, const std::vector<std::uint8_t>& data,
                  const std::optional<foundation::Error>& error) {
      std::lock_guard guard(mutex_);
      completions_.push_back({callId, statusCode, data, error});
      arrived_.notify_all();
    };
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return completions_.size() >= count; });
  }
  std::size_t count() {
    std::lock_guard guard(mutex_);
    return completions_.size();
  }
  RecordedCompletion at(std::size_t i) {
    std::lock_guard guard(mutex_);
    return completions_.at(i);
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<RecordedCompletion> completions_;
};

class DelegateRecorder : public TLIngestionDelegate {
 public:
  void ingestionDidPause(TLIngestionProtocol&) override { ++pauses; }
  void ingestionDidResume(TLIngestionProtocol&) override { ++resumes; }
  void ingestionDidReceiveFatalError(TLIngestionProtocol&) override { ++fatalErrors; }
  std::atomic<int> pauses{0};
  std::atomic<int> resumes{0};
  std::atomic<int> fatalErrors{0};
};

inline std::shared_ptr<TLLogContainer> batch(const std::string& batchId, std::size_t logCount = 1,
                                             const std::string& payload = "value") {
  std::vector<std::shared_ptr<TLAbstractLog>> logs;
  for (std::size_t i = 0; i < logCount; ++i) {
    auto log = std::make_shared<TLLogWithProperties>();
    log->setType("event");
    log->setTimestamp(sampleDate());
    log->setDevice(validDevice());
    log->properties = std::map<std::string, std::string>{{"key", payload}};
    logs.push_back(std::move(log));
  }
  return std::make_shared<TLLogContainer>(batchId, std::move(logs));
}

inline std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline const foundation::Uuid kInstallId = *foundation::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

class IngestionTest : public ::testing::Test {
 protected:
  TLHttpIngestionEnvironment environment() {
    TLHttpIngestionEnvironment env;
    env.clock = &clock;
    env.retryQueue = &retryQueue;
    env.requestTimeout = std::chrono::seconds(10);
    return env;
  }

  std::shared_ptr<TLBeaconIngestion> makeIngestion(const std::string& baseUrl, bool withSecret = true) {
    auto made = TLBeaconIngestion::create(baseUrl, kInstallId, environment(),
                                          TLReachability::reachabilityWithMonitor(monitor));
    if (withSecret) made->setAppSecret("0123456789abcdef0123456789abcdef");
    made->addDelegate(delegate);
    return made;
  }

  // Waits for the retry timer of a failed call and answers its delay.
  dispatch::Duration waitForRetryTimer() {
    EXPECT_TRUE(waitUntil([&] { return clock.pendingCount() == 1; }));
    auto deadline = clock.nextDeadline();
    return deadline ? *deadline - clock.now() : dispatch::Duration::zero();
  }

  // First, so it outlives every thread the ingestions log from.
  ::ml::test::LogCapture log;
  ::ml::test::LocalHttpServer server;
  dispatch::ManualClock clock;
  dispatch::SerialQueue retryQueue{"test.ingestion.retry"};
  std::shared_ptr<net::ManualNetworkMonitor> monitor =
      std::make_shared<net::ManualNetworkMonitor>(net::NetworkStatus::reachable);
  std::shared_ptr<DelegateRecorder> delegate = std::make_shared<DelegateRecorder>();
  CompletionRecorder completions;
};

}  // namespace ml::beacon::test

// The telemetry client as the application configures it (no injected channel group, ingestion or
// store), in this process, against a loopback server: the Common Collector road of a transmission
// target with the prepared common-schema fields, and what each kind of server answer does to the
// stored logs and to sending. Only the ingestions' retry timers run on a manual clock.
#include <gtest/gtest.h>

#include <mutex>
#include <set>

#include "TelemetryFixture.h"
#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/TLAnalytics.h"
#include "beacon/analytics/TLAnalyticsCategory.h"
#include "beacon/analytics/TLAnalyticsDelegate.h"
#include "beacon/analytics/TransmissionTarget/TLAnalyticsTransmissionTarget.h"
#include "beacon/analytics/TransmissionTarget/TLPropertyConfigurator.h"
#include "beacon/core/Context/TLAuthTokenContext.h"
#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Context/TLSessionContext.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/Service/TLAppDelegateForwarder.h"
#include "beacon/core/Service/TLBeacon.h"
#include "platform/dispatch/ManualClock.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;
using namespace ml::beacon;

// The send outcome of every event, by name.
class OutcomeRecorder final : public TLAnalyticsDelegate {
 public:
  void analyticsDidSucceedSendingEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>& log) override {
    std::lock_guard guard(mutex_);
    ++succeeded_[log->name.value_or("")];
  }
  void analyticsDidFailSendingEventLog(TLAnalytics&, const std::shared_ptr<TLEventLog>& log,
                                       const std::optional<foundation::Error>& error) override {
    std::lock_guard guard(mutex_);
    const std::string name = log->name.value_or("");
    if (++failed_[name] == 1 && error) firstFailureCodes_[name] = error->code;
  }
  int succeeded(const std::string& name) {
    std::lock_guard guard(mutex_);
    return succeeded_[name];
  }
  int failed(const std::string& name) {
    std::lock_guard guard(mutex_);
    return failed_[name];
  }
  int firstFailureCode(const std::string& name) {
    std::lock_guard guard(mutex_);
    return firstFailureCodes_[name];
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int> succeeded_;
  std::map<std::string, int> failed_;
  std::map<std::string, int> firstFailureCodes_;
};

class ProductionClientTest : public ::testing::Test {
 protected:
  ProductionClientTest() { resetShared(); }
  ~ProductionClientTest() override {
    // Before the clock the ingestions' timers use goes.
    resetShared();
  }

  static void resetShared() {
    // Stopped as the application stops it at exit: a client merely dropped leaves its queue's
    // thread to end on its own, and one that ends after the process has begun to exit loses the
    // crypto library's per-thread state (a leak report).
    TLBeacon::shutdown();
    TLBeacon::resetSharedInstance();
    TLAnalytics::resetSharedInstance();
    TLAnalyticsCategory::resetForTesting();
    TLSessionContext::resetSharedInstance();
    TLUserIdContext::resetSharedInstance();
    TLAuthTokenContext::resetSharedInstance();
    TLDeviceTracker::resetSharedInstance();
    TLAppDelegateForwarder::resetSharedInstance();
  }

  // A launch: a fresh client and analytics service, started as the application starts them.
  void launch(const std::string& secretString) {
    resetShared();
    TLHttpIngestionEnvironment environment;
    environment.clock = &clock;
    TLBeacon::resetSharedInstance(std::make_shared<TLBeacon>(TLBeacon::Dependencies::standard(environment)));
    TLAnalytics::setDelegate(outcomes);
    TLBeacon::setLogUrl(server.baseUrl());
    TLBeacon::start(secretString, {TLServiceClass::of<TLAnalytics>()});
  }

  std::size_t eventsNamed(const std::string& name) {
    std::size_t count = 0;
    for (const auto& log : logsOfType(receivedLogs(server), "event")) count += log.log.value("name", "") == name;
    return count;
  }

  TelemetrySandbox sandbox;
  LocalHttpServer server;
  dispatch::ManualClock clock;
  std::shared_ptr<OutcomeRecorder> outcomes = std::make_shared<OutcomeRecorder>();
};

TEST_F(ProductionClientTest, TargetTokenEventGoesThroughTheCommonCollectorWithThePreparedFields) {
  const std::string defaultToken = "0a1b2c3d4e5f4a5b8c9d0e1f2a3b4c5d-00000000-0000-0000-0000-000000000000-0001";
  const std::string token = "7f6e5d4c3b2a41f0a9b8c7d6e5f4a3b2-11111111-2222-3333-4444-555555555555-6666";
  launch("target=" + defaultToken);  // no app secret: the log URL is the Common Collector's

  auto target = TLAnalytics::sharedInstance()->transmissionTargetForToken(token);
  auto configurator = target->propertyConfigurator();
  configurator->setAppVersion("9.8.7");
  configurator->setAppName("MarrowlaneLab");
  configurator->setAppLocale("fr-FR");
  configurator->setUserId("alice");
  configurator->collectDeviceId();
  target->trackEvent("tenant.opened", TLStringProperties{{"pane", "info"}});

  ASSERT_TRUE(waitUntil([&] { return !receivedLogs(server).empty(); }, 60s));
  auto lines = receivedLogs(server);  // common-schema lines carry a name, no type
  ASSERT_EQ(lines.size(), 1u);
  const ReceivedLog& sent = lines.front();

  const auto& request = sent.request;
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/CommonCollector/1.0");
  EXPECT_EQ(request.header("Content-Type"), "application/x-json-stream; charset=utf-8");
  EXPECT_EQ(request.header("apikey"), token);
  EXPECT_TRUE(request.header("Upload-Time"));
  EXPECT_FALSE(request.header("Tickets"));
  const std::string body = decodedBody(request);
  ASSERT_FALSE(body.empty());
  EXPECT_EQ(body.back(), '\n');  // every line ends with a line feed

  const auto& log = sent.log;
  EXPECT_EQ(log.value("name", ""), "tenant.opened");
  EXPECT_EQ(log.value("iKey", ""), "o:7f6e5d4c3b2a41f0a9b8c7d6e5f4a3b2");  // the token's tenant
  const auto& ext = log["ext"];
  EXPECT_EQ(ext["app"].value("ver", ""), "9.8.7");
  EXPECT_EQ(ext["app"].value("name", ""), "MarrowlaneLab");
  EXPECT_EQ(ext["app"].value("locale", ""), "fr-FR");
  EXPECT_EQ(ext["user"].value("localId", ""), "c:alice");
  if (auto device = TLPropertyConfigurator::getDeviceIdentifier()) {
    EXPECT_EQ(ext["device"].value("localId", ""), *device);
  }
  EXPECT_EQ(ext["sdk"].value("seq", 0), 1);
  EXPECT_EQ(ext["sdk"].value("installId", ""), TLBeacon::installId()->string());
  EXPECT_EQ(log["data"].value("pane", ""), "info");

  // No app secret: nothing went to the client's own endpoint.
  for (const auto& any : server.requests()) EXPECT_EQ(any.target, "/CommonCollector/1.0");
}

TEST_F(ProductionClientTest, Answers2xxKeepSendingRetriesEndInOneCompletionAndARefusalStopsOnlyThisLaunch) {
  launch(kAppSecret);
  // The launch's own logs go first, so that each scripted answer below meets the batch it is for.
  ASSERT_TRUE(waitUntil([&] { return logsOfType(receivedLogs(server), "startService").size() == 1; }, 30s));
  ASSERT_TRUE(waitUntil([&] { return storedLogs({"Beacon", "Analytics"}).empty(); }, 30s));

  // 201 and 204 take the batch: its rows go, sending goes on.
  std::size_t before = server.requestCount();
  server.enqueue(ScriptedHttpAnswer::respond(201));
  TLAnalytics::trackEvent("answer.created");
  ASSERT_TRUE(waitUntil([&] { return outcomes->succeeded("answer.created") == 1; }, 30s));
  server.enqueue(ScriptedHttpAnswer::respond(204));
  TLAnalytics::trackEvent("answer.nocontent");
  ASSERT_TRUE(waitUntil([&] { return outcomes->succeeded("answer.nocontent") == 1; }, 30s));
  EXPECT_EQ(server.requestCount(), before + 2);
  EXPECT_TRUE(storedLogs({"Analytics"}).empty());

  // 503 three times, then 200: the same batch four times, one completion, no failure.
  for (int i = 0; i < 3; ++i) server.enqueue(ScriptedHttpAnswer::respond(503));
  TLAnalytics::trackEvent("answer.retried");
  for (std::size_t attempt = 1; attempt <= 3; ++attempt) {
    ASSERT_TRUE(waitUntil([&] { return eventsNamed("answer.retried") == attempt && clock.pendingCount() == 1; }, 30s));
    auto deadline = clock.nextDeadline();
    clock.advance(*deadline - clock.now());
  }
  ASSERT_TRUE(waitUntil([&] { return outcomes->succeeded("answer.retried") == 1; }, 30s));
  EXPECT_EQ(eventsNamed("answer.retried"), 4u);
  EXPECT_EQ(outcomes->failed("answer.retried"), 0);
  EXPECT_TRUE(storedLogs({"Analytics"}).empty());

  // 400: the batch fails with the HTTP error, stored logs are dropped and this launch sends no
  // more...
  server.enqueue(ScriptedHttpAnswer::respond(400));
  TLAnalytics::trackEvent("answer.refused");
  // Reported when the batch fails, and again when the refusal deletes the stored logs.
  ASSERT_TRUE(waitUntil([&] { return outcomes->failed("answer.refused") >= 1; }, 30s));
  EXPECT_EQ(outcomes->firstFailureCode("answer.refused"), 101);  // the HTTP error
  before = server.requestCount();
  TLAnalytics::trackEvent("answer.ignored");
  ASSERT_TRUE(waitUntil([&] { return outcomes->failed("answer.ignored") == 1; }, 30s));  // discarded
  EXPECT_EQ(server.requestCount(), before);
  EXPECT_TRUE(storedLogs({"Analytics"}).empty());

  // ...but the next launch sends again.
  launch(kAppSecret);
  TLAnalytics::trackEvent("answer.later");
  ASSERT_TRUE(waitUntil([&] { return outcomes->succeeded("answer.later") == 1; }, 30s));
  EXPECT_EQ(eventsNamed("answer.later"), 1u);
  EXPECT_EQ(eventsNamed("answer.ignored"), 0u);
}

}  // namespace
}  // namespace ml::test

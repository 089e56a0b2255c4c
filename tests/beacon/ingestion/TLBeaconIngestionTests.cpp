#include <gtest/gtest.h>


#include <future>
#include <set>
#include <thread>

#include "IngestionFixture.h"
#include "beacon/core/Ingestion/TLErrors.h"
#include "platform/net/UrlError.h"
#include "support/Gunzip.h"

namespace ml::beacon::test {
namespace {

using ml::test::gunzip;

using ml::test::LocalHttpServer;
using ml::test::ScriptedHttpAnswer;
using std::chrono::seconds;

bool isUrlError(const RecordedCompletion& completion, net::UrlErrorCode code) {
  return completion.error && net::isUrlError(*completion.error, code);
}

class TLBeaconIngestionTest : public IngestionTest {};

TEST_F(TLBeaconIngestionTest, SendsTheBatchAsJsonWithItsHeadersAndReportsTheAnswer) {
  server.enqueue(ScriptedHttpAnswer::respond(200, "{\"ok\":true}", {{"Content-Type", "application/json"}}));
  auto ingestion = makeIngestion(server.baseUrl());
  auto container = batch("BATCH-1", 2);
  ingestion->sendAsync(container, std::nullopt, completions.handler());
  ASSERT_TRUE(completions.waitFor(1));

  auto request = server.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/logs?api-version=1.0.0");
  EXPECT_EQ(request.header("Content-Type"), "application/json");
  EXPECT_EQ(request.header("Install-ID"), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(request.header("App-Secret"), "0123456789abcdef0123456789abcdef");
  EXPECT_FALSE(request.header("Authorization"));
  EXPECT_FALSE(request.header("Content-Encoding"));
  EXPECT_FALSE(request.header("Cookie"));
  EXPECT_EQ(request.body, container->serializeLog());

  auto completion = completions.at(0);
  EXPECT_EQ(completion.callId, "BATCH-1");
  EXPECT_EQ(completion.statusCode, 200);
  EXPECT_EQ(text(completion.data), "{\"ok\":true}");
  EXPECT_FALSE(completion.error);
  // The ingestion takes the call's result just after the caller heard of it.
  EXPECT_TRUE(waitUntil([&] { return ingestion->pendingCallCount() == 0; }));
  EXPECT_TRUE(ingestion->isEnabled());
}

TEST_F(TLBeaconIngestionTest, AuthTokenGoesAsBearerOnlyWhenNotEmpty) {
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("A"), std::string("tok"), completions.handler());
  ingestion->sendAsync(batch("B"), std::string(""), completions.handler());
  ASSERT_TRUE(completions.waitFor(2));
  std::size_t withToken = 0;
  for (const auto& request : server.requests()) {
    if (auto authorization = request.header("Authorization")) {
      EXPECT_EQ(*authorization, "Bearer tok");
      ++withToken;
    }
  }
  EXPECT_EQ(withToken, 1u);
}

TEST_F(TLBeaconIngestionTest, BodiesFrom1400BytesOnGoGzipCompressed) {
  auto ingestion = makeIngestion(server.baseUrl());
  // Size the property so the JSON is exactly 1399, then 1400 bytes long.
  std::size_t base = batch("X", 1, "")->serializeLog()->size();
  for (std::size_t length : {std::size_t{1399}, std::size_t{1400}}) {
    auto container = batch("X", 1, std::string(length - base, 'a'));
    std::string json = *container->serializeLog();
    ASSERT_EQ(json.size(), length);
    auto request = ingestion->createRequest(container, std::nullopt, std::nullopt);
    ASSERT_TRUE(request);
    if (length < TLBeaconIngestion::kCompressionThreshold) {
      EXPECT_FALSE(request->headers.contains("Content-Encoding"));
      EXPECT_EQ(text(request->body), json);
    } else {
      EXPECT_EQ(request->headers.value("Content-Encoding"), "gzip");
      EXPECT_EQ(gunzip(request->body), json);
    }
  }
}

TEST_F(TLBeaconIngestionTest, CompressedBodiesArriveIntact) {
  auto ingestion = makeIngestion(server.baseUrl());
  auto container = batch("BIG", 30);
  ingestion->sendAsync(container, std::nullopt, completions.handler());
  ASSERT_TRUE(completions.waitFor(1));
  auto request = server.requests().at(0);
  EXPECT_EQ(request.header("Content-Encoding"), "gzip");
  std::vector<std::uint8_t> body(request.body.begin(), request.body.end());
  EXPECT_EQ(gunzip(body), container->serializeLog());
}

TEST_F(TLBeaconIngestionTest, WithoutAppSecretNothingIsSentAndTheCallWaits) {
  auto ingestion = makeIngestion(server.baseUrl(), false);
  EXPECT_FALSE(ingestion->isReadyToSend());
  ingestion->sendAsync(batch("A"), std::nullopt, completions.handler());
  ingestion->pendingCallCount();  // waits for the send to be handled
  EXPECT_EQ(log.count(TLLogLevel::error, "Beacon ingestion is used without app secret."), 1u);
  EXPECT_EQ(ingestion->pendingCallCount(), 1u);
  EXPECT_EQ(completions.count(), 0u);

  // The call goes once the secret is there and the ingestion sends again.
  ingestion->setAppSecret("secret");
  EXPECT_TRUE(ingestion->isReadyToSend());
  ingestion->pause();
  ingestion->resume();
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(server.requests().at(0).header("App-Secret"), "secret");
}

TEST_F(TLBeaconIngestionTest, InvalidOrMissingBatchFailsAtOnceWithCodeOne) {
  auto ingestion = makeIngestion(server.baseUrl());
  auto invalid = batch("BAD");
  invalid->logs.front()->setDevice(nullptr);
  ingestion->sendAsync(invalid, std::nullopt, completions.handler());
  ASSERT_EQ(completions.count(), 1u);  // synchronously
  auto completion = completions.at(0);
  EXPECT_EQ(completion.callId, "BAD");
  EXPECT_FALSE(completion.statusCode);
  ASSERT_TRUE(completion.error);
  EXPECT_EQ(completion.error->domain, kTLReverseDomainPrefix);
  EXPECT_EQ(completion.error->code, kTLLogInvalidContainerErrorCode);
  EXPECT_EQ(completion.error->message, "Invalid log container.");
  EXPECT_EQ(log.count(TLLogLevel::error, "Invalid log container."), 1u);

  ingestion->sendAsync(nullptr, std::nullopt, completions.handler());
  ASSERT_EQ(completions.count(), 2u);
  EXPECT_EQ(completions.at(1).callId, "");
  EXPECT_EQ(ingestion->pendingCallCount(), 0u);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(TLBeaconIngestionTest, ServiceUnavailableThreeTimesThenSuccessRetriesOnTheGrowingSchedule) {
  for (int i = 0; i < 3; ++i) server.enqueue(ScriptedHttpAnswer::respond(503));
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("R"), std::nullopt, completions.handler());

  const std::pair<seconds, seconds> windows[] = {{seconds(5), seconds(9)}, {seconds(150), seconds(299)},
                                                 {seconds(600), seconds(1199)}};
  for (std::size_t attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(server.waitForRequests(attempt + 1));
    auto delay = waitForRetryTimer();
    EXPECT_GE(delay, windows[attempt].first) << attempt;
    EXPECT_LE(delay, windows[attempt].second) << attempt;
    EXPECT_EQ(server.requestCount(), attempt + 1);  // nothing goes before the clock moves
    clock.advance(delay);
  }
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(server.requestCount(), 4u);
  EXPECT_EQ(completions.at(0).statusCode, 200);
  EXPECT_FALSE(completions.at(0).error);
  EXPECT_TRUE(ingestion->isEnabled());
  EXPECT_EQ(completions.count(), 1u);
}

TEST_F(TLBeaconIngestionTest, ServiceUnavailableAfterTheLastRetryDisablesKeepingData) {
  server.setDefaultAnswer(ScriptedHttpAnswer::respond(503));
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("R"), std::nullopt, completions.handler());
  for (std::size_t attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(server.waitForRequests(attempt + 1));
    clock.advance(waitForRetryTimer());
  }
  ASSERT_TRUE(completions.waitFor(1));
  auto completion = completions.at(0);
  EXPECT_EQ(completion.statusCode, 503);
  ASSERT_TRUE(completion.error);
  EXPECT_EQ(completion.error->domain, kTLReverseDomainPrefix);
  EXPECT_EQ(completion.error->code, kTLConnectionHttpErrorCode);
  EXPECT_EQ(completion.error->message, "An HTTP error occured.");
  EXPECT_EQ(completion.error->userInfo, (std::map<std::string, std::int64_t>{{"TLConnectionHttpCode", 503}}));
  EXPECT_TRUE(waitUntil([&] { return !ingestion->isEnabled(); }));
  EXPECT_TRUE(ingestion->isPaused());
  EXPECT_EQ(delegate->pauses, 1);
  EXPECT_EQ(delegate->fatalErrors, 0);
}

TEST_F(TLBeaconIngestionTest, ClientErrorIsFatalDisablesWithDeletionAndEndsOtherCalls) {
  server.enqueue(ScriptedHttpAnswer::respond(400));
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("FATAL"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(1));
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).callId, "FATAL");
  EXPECT_EQ(completions.at(0).statusCode, 400);
  EXPECT_EQ(completions.at(0).error->code, kTLConnectionHttpErrorCode);
  EXPECT_EQ(completions.at(0).error->userInfo.at(kTLConnectionHttpCodeKey), 400);
  EXPECT_EQ(clock.pendingCount(), 0u);  // no retry
  EXPECT_TRUE(waitUntil([&] { return delegate->fatalErrors == 1; }));
  EXPECT_FALSE(ingestion->isEnabled());
  EXPECT_EQ(ingestion->pendingCallCount(), 0u);
  EXPECT_EQ(completions.count(), 1u);
}

TEST_F(TLBeaconIngestionTest, Every2xxIsSuccessAndA3xxIsRetriedThenEndsRecoverableKeepingData) {
  // Any 2xx: no error, the ingestion stays on.
  for (int status : {201, 202, 204}) server.enqueue(ScriptedHttpAnswer::respond(status));
  auto ingestion = makeIngestion(server.baseUrl());
  std::size_t sent = 0;  // counted here: the completion may arrive before the test looks
  for (const char* id : {"C201", "C202", "C204"}) {
    ingestion->sendAsync(batch(id), std::nullopt, completions.handler());
    ++sent;
    ASSERT_TRUE(server.waitForRequests(sent));
    ASSERT_TRUE(completions.waitFor(sent));
  }
  for (std::size_t i = 0; i < 3; ++i) EXPECT_FALSE(completions.at(i).error) << completions.at(i).callId;
  EXPECT_TRUE(ingestion->isEnabled());
  EXPECT_EQ(delegate->fatalErrors, 0);

  // A redirection is neither followed nor fatal: retried on the schedule, then recoverable (off,
  // data kept).
  server.setDefaultAnswer(ScriptedHttpAnswer::respond(302, {}, {{"Location", "http://127.0.0.1:1/elsewhere"}}));
  ingestion->sendAsync(batch("MOVED"), std::nullopt, completions.handler());
  for (std::size_t attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(server.waitForRequests(4 + attempt));
    clock.advance(waitForRetryTimer());
  }
  ASSERT_TRUE(completions.waitFor(4));
  EXPECT_EQ(server.requestCount(), 7u);
  for (const auto& request : server.requests()) EXPECT_EQ(request.target, "/logs?api-version=1.0.0");
  EXPECT_EQ(completions.at(3).statusCode, 302);
  ASSERT_TRUE(completions.at(3).error);
  EXPECT_EQ(completions.at(3).error->code, kTLConnectionHttpErrorCode);
  EXPECT_EQ(completions.at(3).error->userInfo.at(kTLConnectionHttpCodeKey), 302);
  EXPECT_TRUE(waitUntil([&] { return !ingestion->isEnabled(); }));
  EXPECT_EQ(delegate->fatalErrors, 0);
}

TEST_F(TLBeaconIngestionTest, ASecondSendUnderAPendingCallIdIsIgnored) {
  monitor->setStatus(net::NetworkStatus::notReachable);
  auto ingestion = makeIngestion(server.baseUrl());
  ASSERT_TRUE(ingestion->isPaused());
  ingestion->sendAsync(batch("SAME"), std::nullopt, completions.handler());
  ingestion->sendAsync(batch("SAME"), std::nullopt, completions.handler());
  EXPECT_EQ(ingestion->pendingCallCount(), 1u);
  monitor->setStatus(net::NetworkStatus::reachable);
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(completions.count(), 1u);
}

TEST_F(TLBeaconIngestionTest, GoingOfflineResetsAWaitingRetryAndReconnectionSendsAtOnce) {
  server.enqueue(ScriptedHttpAnswer::respond(503));
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("OFF"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(1));
  waitForRetryTimer();
  ASSERT_EQ(ingestion->pendingCall("OFF")->retryCount, 1u);

  monitor->setStatus(net::NetworkStatus::notReachable);
  EXPECT_TRUE(ingestion->isPaused());
  EXPECT_EQ(delegate->pauses, 1);
  EXPECT_EQ(clock.pendingCount(), 0u);
  EXPECT_EQ(ingestion->pendingCall("OFF")->retryCount, 0u);  // a fresh schedule

  monitor->setStatus(net::NetworkStatus::reachable);
  ingestion->isPaused();  // waits for the news to be handled
  EXPECT_EQ(delegate->resumes, 1);
  ASSERT_TRUE(completions.waitFor(1));  // without the clock moving
  EXPECT_EQ(completions.at(0).statusCode, 200);
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(TLBeaconIngestionTest, IngestionMadeOfflineStartsPausedAndSendsWhenTheNetworkReturns) {
  monitor->setStatus(net::NetworkStatus::notReachable);
  auto ingestion = makeIngestion(server.baseUrl());
  EXPECT_TRUE(ingestion->isPaused());
  ingestion->sendAsync(batch("WAIT"), std::nullopt, completions.handler());
  EXPECT_EQ(server.requestCount(), 0u);
  monitor->setStatus(net::NetworkStatus::reachable);
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).statusCode, 200);
}

TEST_F(TLBeaconIngestionTest, RefusedConnectionIsRetriedThenEndsAsRecoverable) {
  auto ingestion = makeIngestion("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()));
  ingestion->sendAsync(batch("REFUSED"), std::nullopt, completions.handler());
  for (int attempt = 0; attempt < 3; ++attempt) clock.advance(waitForRetryTimer());
  ASSERT_TRUE(completions.waitFor(1));
  auto completion = completions.at(0);
  EXPECT_FALSE(completion.statusCode);
  EXPECT_TRUE(isUrlError(completion, net::UrlErrorCode::cannotConnectToHost));
  EXPECT_TRUE(completion.error->userInfo.empty());  // no answer, so no status
  EXPECT_TRUE(waitUntil([&] { return !ingestion->isEnabled(); }));
  EXPECT_EQ(delegate->fatalErrors, 0);
}

TEST_F(TLBeaconIngestionTest, ServerClosingMidAnswerIsRetriedWhileTheNetworkIsUp) {
  server.enqueue(ScriptedHttpAnswer::closeMidAnswer());
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("MID"), std::nullopt, completions.handler());
  clock.advance(waitForRetryTimer());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).statusCode, 200);
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(TLBeaconIngestionTest, ConnectionLostWhileOfflineWaitsForTheNetworkWithoutAResult) {
  server.enqueue(ScriptedHttpAnswer::hold());
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("LOST"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(1));
  monitor->setStatus(net::NetworkStatus::notReachable);
  server.releaseHeld();  // the transfer breaks while the machine is offline
  ASSERT_TRUE(waitUntil([&] {
    return log.count(TLLogLevel::info, "Ingestion call failed with error: Internet connection is down.") == 1;
  }));
  EXPECT_EQ(clock.pendingCount(), 0u);
  EXPECT_EQ(completions.count(), 0u);
  EXPECT_EQ(ingestion->pendingCallCount(), 1u);

  monitor->setStatus(net::NetworkStatus::reachable);
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).statusCode, 200);
}

TEST_F(TLBeaconIngestionTest, SilentServerTimesOutAndIsRetried) {
  server.enqueue(ScriptedHttpAnswer::hold());
  auto env = environment();
  env.requestTimeout = std::chrono::milliseconds(200);
  auto ingestion = TLBeaconIngestion::create(server.baseUrl(), kInstallId, env,
                                             TLReachability::reachabilityWithMonitor(monitor));
  ingestion->setAppSecret("secret");
  ingestion->sendAsync(batch("SLOW"), std::nullopt, completions.handler());
  clock.advance(waitForRetryTimer());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).statusCode, 200);
}

TEST_F(TLBeaconIngestionTest, DisablingWithDeletionEndsEveryPendingCallAsCancelled) {
  server.setDefaultAnswer(ScriptedHttpAnswer::hold());
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("RUNNING"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(1));
  ingestion->pause();
  ingestion->sendAsync(batch("WAITING"), std::nullopt, completions.handler());
  ingestion->setEnabled(false, true);
  ASSERT_TRUE(completions.waitFor(2));
  std::set<std::string> ended;
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(isUrlError(completions.at(i), net::UrlErrorCode::cancelled));
    ended.insert(completions.at(i).callId);
  }
  EXPECT_EQ(ended, (std::set<std::string>{"RUNNING", "WAITING"}));
  EXPECT_EQ(ingestion->pendingCallCount(), 0u);
  EXPECT_EQ(delegate->fatalErrors, 0);
}

TEST_F(TLBeaconIngestionTest, DisablingKeepsCallsAndEnablingSendsThemWhenTheNetworkIsUp) {
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->setEnabled(false, false);
  EXPECT_TRUE(ingestion->isPaused());
  EXPECT_EQ(monitor->observerCount(), 0u);  // not watching while off
  ingestion->sendAsync(batch("KEPT"), std::nullopt, completions.handler());
  ingestion->resume();  // resuming needs the switch on
  EXPECT_TRUE(ingestion->isPaused());
  ingestion->setEnabled(true, false);
  EXPECT_FALSE(ingestion->isPaused());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).statusCode, 200);
  EXPECT_EQ(delegate->resumes, 1);
}

// The client's shutdown: a transfer under way and a call waiting for its retry end without their
// completions, the network is no longer watched, and nothing sent or switched on later goes out
// or answers (the session and its threads are gone when shutdown() returns).
TEST_F(TLBeaconIngestionTest, ShutdownEndsEveryCallWithoutItsCompletionAndLaterWorkGoesNowhere) {
  server.enqueue(ScriptedHttpAnswer::respond(503));
  server.setDefaultAnswer(ScriptedHttpAnswer::hold());
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("RETRIED"), std::nullopt, completions.handler());
  waitForRetryTimer();
  ingestion->sendAsync(batch("RUNNING"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(2));

  ingestion->shutdown();
  EXPECT_EQ(clock.pendingCount(), 0u);
  EXPECT_EQ(monitor->observerCount(), 0u);
  EXPECT_EQ(ingestion->pendingCallCount(), 0u);
  ingestion->sendAsync(batch("LATE"), std::nullopt, completions.handler());
  ingestion->setEnabled(true, false);
  ingestion->resume();
  clock.advance(seconds(1200));
  EXPECT_EQ(ingestion->pendingCallCount(), 0u);
  EXPECT_TRUE(ingestion->isPaused());
  EXPECT_EQ(server.requestCount(), 2u);
  EXPECT_EQ(completions.count(), 0u);
  ingestion->shutdown();  // again: nothing left to do
}

// A session retired by switching off with deletion is released on the helper queue, where its
// destruction joins its transfer thread: shutdown waits for that too, so no thread of it runs
// into the program's static teardown.
TEST_F(TLBeaconIngestionTest, ShutdownWaitsForASessionRetiredBySwitchingOff) {
  server.setDefaultAnswer(ScriptedHttpAnswer::hold());
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->sendAsync(batch("HELD"), std::nullopt, completions.handler());
  ASSERT_TRUE(server.waitForRequests(1));
  std::promise<void> helperFree;
  retryQueue.async([busy = helperFree.get_future().share()] { busy.wait(); });
  ingestion->setEnabled(false, true);

  std::atomic<bool> returned{false};
  std::thread stopping([&] {
    ingestion->shutdown();
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(returned);  // the retired session still waits on the busy helper queue
  helperFree.set_value();
  stopping.join();
  EXPECT_TRUE(returned);
}

TEST_F(TLBeaconIngestionTest, SetBaseUrlKeepsTheQueryAndRefusesTextThatIsNoUrl) {
  auto ingestion = makeIngestion(server.baseUrl());
  ingestion->setBaseURL("https://other.example.org:8443/v2");
  EXPECT_EQ(ingestion->sendURL(), "https://other.example.org:8443/v2/logs?api-version=1.0.0");
  ingestion->setBaseURL("not a url");
  EXPECT_EQ(ingestion->sendURL(), "https://other.example.org:8443/v2/logs?api-version=1.0.0");
  EXPECT_EQ(log.count(TLLogLevel::info, "Failed to update HTTP URL"), 1u);
  ingestion->setBaseURL(server.baseUrl());
  ingestion->sendAsync(batch("MOVED"), std::nullopt, completions.handler());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(server.requests().at(0).target, "/logs?api-version=1.0.0");
}

TEST_F(TLBeaconIngestionTest, LogOutputMasksSecretsTokensAndAnswerTokens) {
  server.enqueue(ScriptedHttpAnswer::respond(200, "{\"token\":\"server-secret-token\",\"n\":1}",
                                             {{"Content-Type", "application/json; charset=utf-8"}}));
  auto ingestion = makeIngestion(server.baseUrl());
  std::string secret = "0123456789abcdef0123456789abcdef";
  TLLogger::setCurrentLogLevel(TLLogLevel::verbose);
  ingestion->sendAsync(batch("LOGGED"), std::string("eyJ.secret.sig"), completions.handler());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(log.count(TLLogLevel::verbose, "App-Secret = " + std::string(24, '*') + "89abcdef"), 1u);
  EXPECT_EQ(log.count(TLLogLevel::verbose, "Authorization = Bearer ***"), 1u);
  EXPECT_EQ(log.count(TLLogLevel::verbose, "URL: " + server.baseUrl() + "/logs?api-version=1.0.0"), 1u);
  EXPECT_EQ(log.count(TLLogLevel::verbose, "HTTP response received with status code: 200"), 1u);
  EXPECT_EQ(log.count(TLLogLevel::verbose, "\"token\": \"***\""), 1u);
  for (const auto& line : log.lines()) {
    EXPECT_EQ(line.message.find(secret), std::string::npos) << line.message;
    EXPECT_EQ(line.message.find("eyJ.secret.sig"), std::string::npos) << line.message;
    EXPECT_EQ(line.message.find("server-secret-token"), std::string::npos) << line.message;
  }
}

// Listens the way a channel unit must not be able to break: it asks the ingestion back from
// inside its callbacks.
class AskingBackDelegate : public TLIngestionDelegate {
 public:
  void ingestionDidPause(TLIngestionProtocol& ingestion) override { pausedWhenAsked += ingestion.isPaused() ? 1 : 0; }
  std::atomic<int> pausedWhenAsked{0};
};

TEST_F(TLBeaconIngestionTest, SendersOnManyThreadsFlappingNetworkAndCallbacksThatCallBackEndEveryCallOnce) {
  auto ingestion = makeIngestion(server.baseUrl());
  auto asking = std::make_shared<AskingBackDelegate>();
  ingestion->addDelegate(asking);

  // Each sender's first completion sends one batch more from inside the completion.
  constexpr int kThreads = 4, kPerThread = 10;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      auto record = completions.handler();
      for (int i = 0; i < kPerThread; ++i) {
        std::string id = "T" + std::to_string(t) + "-" + std::to_string(i);
        ingestion->sendAsync(batch(id), std::nullopt,
                             [&, record, i, t](const std::string& callId, std::optional<int> status,
                                               const std::vector<std::uint8_t>& data,
                                               const std::optional<foundation::Error>& error) {
                               if (i == 0) {
                                 ingestion->sendAsync(batch("AGAIN-" + std::to_string(t)), std::nullopt, record);
                                 ingestion->pendingCallCount();
                               }
                               record(callId, status, data, error);
                             });
        ingestion->isReadyToSend();
      }
    });
  }
  std::thread flapper([&] {
    for (int i = 0; i < 20; ++i) {
      monitor->setStatus(i % 2 == 0 ? net::NetworkStatus::notReachable : net::NetworkStatus::reachable);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (auto& sender : senders) sender.join();
  flapper.join();
  // The ingestion reads the status when it gets to a change, so on a loaded machine the flaps can
  // all land on "reachable"; one change it is sure to see before the network comes back.
  monitor->setStatus(net::NetworkStatus::notReachable);
  ASSERT_TRUE(waitUntil([&] { return delegate->pauses >= 1; }));
  monitor->setStatus(net::NetworkStatus::reachable);

  const std::size_t expected = kThreads * kPerThread + kThreads;
  ASSERT_TRUE(completions.waitFor(expected));
  EXPECT_TRUE(waitUntil([&] { return ingestion->pendingCallCount() == 0; }));
  std::set<std::string> ids;
  for (std::size_t i = 0; i < completions.count(); ++i) {
    EXPECT_EQ(completions.at(i).statusCode, 200) << completions.at(i).callId;
    ids.insert(completions.at(i).callId);
  }
  EXPECT_EQ(ids.size(), expected);
  EXPECT_EQ(completions.count(), expected);
  EXPECT_GE(asking->pausedWhenAsked, 1);
  EXPECT_EQ(asking->pausedWhenAsked, delegate->pauses);

  // The last reference may go inside a completion, on the ingestion's own thread.
  std::weak_ptr<TLBeaconIngestion> weak = ingestion;
  std::promise<void> released;
  // The call itself holds the ingestion until it returns (the completion may run before that);
  // from then on the completion's holder is the last reference, or nearly so.
  auto caller = ingestion;
  caller->sendAsync(batch("LAST"), std::nullopt,
                       [&, holder = std::make_shared<std::shared_ptr<TLBeaconIngestion>>(std::move(ingestion))](
                           const std::string&, std::optional<int>, const std::vector<std::uint8_t>&,
                           const std::optional<foundation::Error>&) {
                         holder->reset();
                         released.set_value();
                       });
  caller.reset();
  ASSERT_EQ(released.get_future().wait_for(seconds(30)), std::future_status::ready);
  EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
}

TEST(TLHttpIngestionPayload, ShowsJsonIndentedTextAsItIsAndOtherContentAsBinary) {
  auto bytes = [](std::string_view s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  EXPECT_EQ(TLHttpIngestion::payloadForLog("application/json", bytes("{\"a\":1}")), "{\n  \"a\": 1\n}");
  EXPECT_EQ(TLHttpIngestion::payloadForLog("text/plain", bytes("\"token\" : \"x\"")), "\"token\" : \"***\"");
  EXPECT_EQ(TLHttpIngestion::payloadForLog(std::nullopt, bytes("plain")), "plain");
  EXPECT_EQ(TLHttpIngestion::payloadForLog("image/png", bytes("\x89PNG")), "<binary>");
  EXPECT_EQ(TLHttpIngestion::payloadForLog("text/plain", bytes("\xff\xfe")), "<binary>");
  EXPECT_FALSE(TLHttpIngestion::payloadForLog("application/json", {}));
  auto longText = TLHttpIngestion::payloadForLog("text/plain", bytes(std::string(100000, 'x')));
  ASSERT_TRUE(longText);
  EXPECT_EQ(longText->size(), TLHttpIngestion::kMaxLoggedPayloadBytes + 3);
}

TEST(TLHttpIngestionPayload, ETagComesFromTheAnswersETagField) {
  net::HttpResponse response;
  response.headers.add("etag", "\"v1\"");
  EXPECT_EQ(TLHttpIngestion::eTagFromResponse(response), "\"v1\"");
  EXPECT_FALSE(TLHttpIngestion::eTagFromResponse(net::HttpResponse{}));
}

}  // namespace
}  // namespace ml::beacon::test

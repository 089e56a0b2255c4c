#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/net/CurlHttpSession.h"
#include "platform/net/UrlError.h"
#include "support/LocalHttpServer.h"

namespace ml::net {
namespace {

using test::LocalHttpServer;
using test::ScriptedHttpAnswer;

// Collects the outcomes of transfers, with the thread each completion ran on.
class Outcomes {
 public:
  HttpCompletion completion() {
    return [this](const HttpOutcome& outcome) {
      std::lock_guard guard(mutex_);
      outcomes_.push_back(outcome);
      threads_.push_back(std::this_thread::get_id());
      arrived_.notify_all();
    };
  }
  // Safety net only; the tests never measure time.
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return outcomes_.size() >= count; });
  }
  HttpOutcome at(std::size_t i) {
    std::lock_guard guard(mutex_);
    return outcomes_.at(i);
  }
  std::thread::id threadAt(std::size_t i) {
    std::lock_guard guard(mutex_);
    return threads_.at(i);
  }
  std::size_t count() {
    std::lock_guard guard(mutex_);
    return outcomes_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<HttpOutcome> outcomes_;
  std::vector<std::thread::id> threads_;
};

HttpRequest post(const std::string& url, std::string body) {
  HttpRequest request;
  request.url = url;
  request.method = "POST";
  request.body.assign(body.begin(), body.end());
  return request;
}

int errorCode(const HttpOutcome& outcome) { return outcome.error ? outcome.error->code : 0; }

TEST(CurlHttpSession, PostsBodyAndHeadersAndDeliversTheAnswer) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::respond(201, "{\"ok\":true}", {{"Content-Type", "application/json"}, {"ETag", "v1"}}));
  CurlHttpSession session;
  Outcomes outcomes;
  HttpRequest request = post(server.baseUrl() + "/logs?api-version=1.0.0", "payload");
  request.headers.set("Content-Type", "application/json");
  request.headers.set("App-Secret", "secret");
  session.start(request, outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));

  auto received = server.requests().at(0);
  EXPECT_EQ(received.method, "POST");
  EXPECT_EQ(received.target, "/logs?api-version=1.0.0");
  EXPECT_EQ(received.body, "payload");
  EXPECT_EQ(received.header("App-Secret"), "secret");
  EXPECT_EQ(received.header("Content-Type"), "application/json");
  EXPECT_FALSE(received.header("Expect"));
  EXPECT_FALSE(received.header("Cookie"));

  auto outcome = outcomes.at(0);
  EXPECT_FALSE(outcome.error);
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 201);
  EXPECT_EQ(outcome.response->headers.value("etag"), "v1");
  EXPECT_EQ(std::string(outcome.body.begin(), outcome.body.end()), "{\"ok\":true}");
}

TEST(CurlHttpSession, PostWithoutContentTypeSendsNoFormContentType) {
  LocalHttpServer server;
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/", "x=1"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_FALSE(server.requests().at(0).header("Content-Type"));
}

TEST(CurlHttpSession, CompletionsRunOffTheCallersThreadOneQueueForAll) {
  LocalHttpServer server;
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/a", "1"), outcomes.completion());
  session.start(post(server.baseUrl() + "/b", "2"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(2));
  EXPECT_NE(outcomes.threadAt(0), std::this_thread::get_id());
  EXPECT_EQ(outcomes.threadAt(0), outcomes.threadAt(1));
}

TEST(CurlHttpSession, ReusesTheConnectionForLaterRequests) {
  LocalHttpServer server;
  CurlHttpSession session;
  Outcomes outcomes;
  for (int i = 0; i < 3; ++i) {
    session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
    ASSERT_TRUE(outcomes.waitFor(static_cast<std::size_t>(i + 1)));
  }
  EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(CurlHttpSession, WaitsForAFreeConnectionBeyondThePerHostLimit) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::hold());
  HttpSessionConfiguration configuration;
  configuration.maxConnectionsPerHost = 1;
  CurlHttpSession session(configuration);
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/held", "1"), outcomes.completion());
  ASSERT_TRUE(server.waitForRequests(1));
  session.start(post(server.baseUrl() + "/next", "2"), outcomes.completion());
  EXPECT_EQ(server.connectionCount(), 1u);
  server.releaseHeld();
  ASSERT_TRUE(outcomes.waitFor(2));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/next");
  EXPECT_EQ(requests[1].connection, 2u);
}

TEST(CurlHttpSession, RefusedConnectionIsCannotConnectToHost) {
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/", "x"),
                outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_FALSE(outcomes.at(0).response);
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::cannotConnectToHost));
  EXPECT_EQ(outcomes.at(0).error->domain, kUrlErrorDomain);
}

TEST(CurlHttpSession, ServerClosingMidAnswerIsConnectionLost) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::closeMidAnswer());
  server.enqueue(ScriptedHttpAnswer::closeWithoutAnswer());
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(2));
  EXPECT_FALSE(outcomes.at(0).response);
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::networkConnectionLost));
  EXPECT_EQ(errorCode(outcomes.at(1)), static_cast<int>(UrlErrorCode::networkConnectionLost));
}

TEST(CurlHttpSession, SilentServerTimesOut) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::hold());
  CurlHttpSession session;
  Outcomes outcomes;
  HttpRequest request = post(server.baseUrl() + "/", "x");
  request.timeout = std::chrono::milliseconds(200);
  session.start(request, outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::timedOut));
}

TEST(CurlHttpSession, CancelEndsARunningTransferWithCancelled) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::hold());
  CurlHttpSession session;
  Outcomes outcomes;
  HttpTaskId task = session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(server.waitForRequests(1));
  session.cancel(task);
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::cancelled));
  session.cancel(task);  // already finished: nothing
  session.cancel(9999);  // unknown: nothing
}

TEST(CurlHttpSession, InvalidateAndCancelEndsRunningTransfersAndRefusesNewOnes) {
  LocalHttpServer server;
  server.setDefaultAnswer(ScriptedHttpAnswer::hold());
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(server.waitForRequests(1));
  session.invalidateAndCancel();
  session.start(post(server.baseUrl() + "/", "y"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(2));
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::cancelled));
  EXPECT_EQ(errorCode(outcomes.at(1)), static_cast<int>(UrlErrorCode::cancelled));
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST(CurlHttpSession, FinishTasksAndInvalidateLetsRunningTransfersEnd) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::hold());
  CurlHttpSession session;
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(server.waitForRequests(1));
  session.finishTasksAndInvalidate();
  session.start(post(server.baseUrl() + "/", "y"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::cancelled));  // the refused one
  server.releaseHeld();
  ASSERT_TRUE(outcomes.waitFor(2));
  EXPECT_EQ(errorCode(outcomes.at(1)), static_cast<int>(UrlErrorCode::networkConnectionLost));
}

TEST(CurlHttpSession, DestructionCompletesRunningTransfersAsCancelled) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::hold());
  Outcomes outcomes;
  {
    CurlHttpSession session;
    session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
    ASSERT_TRUE(server.waitForRequests(1));
  }
  ASSERT_EQ(outcomes.count(), 1u);
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::cancelled));
}

TEST(CurlHttpSession, TlsToAPlainServerIsASecureConnectionFailure) {
  LocalHttpServer server;
  CurlHttpSession session;
  Outcomes outcomes;
  HttpRequest request = post("https://127.0.0.1:" + std::to_string(server.port()) + "/", "x");
  request.timeout = std::chrono::seconds(10);
  session.start(request, outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::secureConnectionFailed));
}

TEST(CurlHttpSession, AnswersBeyondTheBodyLimitFail) {
  LocalHttpServer server;
  server.enqueue(ScriptedHttpAnswer::respond(200, std::string(1000, 'a')));
  HttpSessionConfiguration configuration;
  configuration.maxResponseBodyBytes = 100;
  CurlHttpSession session(configuration);
  Outcomes outcomes;
  session.start(post(server.baseUrl() + "/", "x"), outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_FALSE(outcomes.at(0).response);
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::dataLengthExceedsMaximum));
}

TEST(CurlHttpSession, RefusesHeaderFieldsWithLineBreaks) {
  LocalHttpServer server;
  CurlHttpSession session;
  Outcomes outcomes;
  HttpRequest request = post(server.baseUrl() + "/", "x");
  request.headers.set("X-Injected", "a\r\nApp-Secret: stolen");
  session.start(request, outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_TRUE(outcomes.at(0).error);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST(CurlHttpSession, OnlyHttpAndHttpsAreSent) {
  CurlHttpSession session;
  Outcomes outcomes;
  HttpRequest request;
  request.url = "file:///etc/passwd";
  session.start(request, outcomes.completion());
  ASSERT_TRUE(outcomes.waitFor(1));
  EXPECT_FALSE(outcomes.at(0).response);
  EXPECT_EQ(errorCode(outcomes.at(0)), static_cast<int>(UrlErrorCode::unsupportedURL));
}

}  // namespace
}  // namespace ml::net

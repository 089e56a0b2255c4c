#pragma once
// A small HTTP/1.1 server on the loopback interface for tests of HTTP clients. It listens on a
// free port of 127.0.0.1, records every request it reads (method, target, header fields, body,
// and which connection carried it), and answers each with the next scripted answer, or with the
// default answer when the script is empty. Keep-alive connections are served until the client
// closes them, so tests can see connection reuse. Answers can also misbehave: close without an
// answer, close in the middle of the body, or hold the connection open without answering (until
// releaseHeld() or the server goes).
//
// Plain POSIX sockets, one thread per connection; everything is joined when the server goes.
// Thread-safe.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace ml::test {

using HttpFieldList = std::vector<std::pair<std::string, std::string>>;

struct ReceivedHttpRequest {
  std::string method;
  std::string target;  // path and query as sent ("/logs?api-version=1.0.0")
  HttpFieldList headers;
  std::string body;  // decoded from chunks when it came chunked; otherwise as sent
  std::size_t connection = 0;  // 1 for the first connection accepted, 2 for the next, ...

  // The first field of that name (ASCII case ignored).
  std::optional<std::string> header(std::string_view name) const;
};

struct ScriptedHttpAnswer {
  enum class Kind { respond, closeWithoutAnswer, closeMidAnswer, hold };
  Kind kind = Kind::respond;
  int status = 200;
  HttpFieldList headers;
  std::string body;

  static ScriptedHttpAnswer respond(int status, std::string body = {}, HttpFieldList headers = {});
  static ScriptedHttpAnswer closeWithoutAnswer();
  // Status line, headers announcing a longer body, a few body bytes, then the connection closes.
  static ScriptedHttpAnswer closeMidAnswer();
  static ScriptedHttpAnswer hold();
};

class LocalHttpServer {
 public:
  LocalHttpServer();
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string baseUrl() const;

  void enqueue(ScriptedHttpAnswer answer);
  void setDefaultAnswer(ScriptedHttpAnswer answer);

  std::vector<ReceivedHttpRequest> requests() const;
  std::size_t requestCount() const;
  std::size_t connectionCount() const;
  // Waits until `count` requests were read. `limit` is a safety net against a hung test, not a
  // measurement: false when it ran out first.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
  // Closes every connection held by a hold() answer.
  void releaseHeld();

  // A loopback port on which nothing listens (connections to it are refused).
  static std::uint16_t closedPort();

 private:
  void acceptLoop();
  void serve(int fd, std::size_t connection);
  ScriptedHttpAnswer nextAnswer();
  bool stopping() const { return stopping_.load(); }

  int listenFd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> releaseGeneration_{0};

  mutable std::mutex mutex_;
  mutable std::condition_variable received_;
  std::deque<ScriptedHttpAnswer> script_;
  ScriptedHttpAnswer defaultAnswer_;
  std::vector<ReceivedHttpRequest> requests_;
  std::size_t connections_ = 0;
  std::vector<std::thread> connectionThreads_;
  std::thread acceptThread_;
};

}  // namespace ml::test

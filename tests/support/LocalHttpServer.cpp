#include "LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ml::test {

namespace {

constexpr int kPollMs = 20;  // how often blocked threads look at the stop and release flags
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

// A connection's thread writes to a client that may have closed: the write then fails with EPIPE
// instead of raising SIGPIPE, which is blocked on that thread alone (the test process and the
// programs it starts keep their own disposition).
void blockBrokenPipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool sendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Buffered reading from one connection that gives up when the server stops or the peer closes.
class Reader {
 public:
  Reader(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}

  // Reads more bytes into the buffer; false on close, error or stop.
  bool fill() {
    while (!stopping_.load()) {
      pollfd p{fd_, POLLIN, 0};
      int ready = poll(&p, 1, kPollMs);
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
      char chunk[16384];
      ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    return false;
  }

  // Whether the connection opened with something that is not an HTTP request line (a TLS
  // handshake, for example), which is answered with 400 and a close, as servers do.
  bool startsWithGarbage() {
    if (buffer_.empty() && !fill()) return false;
    char c = buffer_.front();
    return c < 'A' || c > 'Z';
  }

  std::optional<std::string> line() {
    while (true) {
      std::size_t end = buffer_.find("\r\n");
      if (end != std::string::npos) {
        std::string text = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return text;
      }
      if (buffer_.size() > kMaxHeaderBytes || !fill()) return std::nullopt;
    }
  }

  std::optional<std::string> bytes(std::size_t count) {
    while (buffer_.size() < count) {
      if (!fill()) return std::nullopt;
    }
    std::string text = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return text;
  }

 private:
  int fd_;
  const std::atomic<bool>& stopping_;
  std::string buffer_;
};

std::optional<ReceivedHttpRequest> readRequest(Reader& reader) {
  ReceivedHttpRequest request;
  auto requestLine = reader.line();
  if (!requestLine) return std::nullopt;
  std::string_view text = *requestLine;
  std::size_t first = text.find(' ');
  std::size_t second = text.find(' ', first == std::string_view::npos ? 0 : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return std::nullopt;
  request.method = std::string(text.substr(0, first));
  request.target = std::string(text.substr(first + 1, second - first - 1));
  while (true) {
    auto field = reader.line();
    if (!field) return std::nullopt;
    if (field->empty()) break;
    std::size_t colon = field->find(':');
    if (colon == std::string::npos) continue;
    request.headers.emplace_back(field->substr(0, colon), std::string(trim(std::string_view(*field).substr(colon + 1))));
  }
  if (auto encoding = request.header("Transfer-Encoding"); encoding && equalsIgnoringCase(*encoding, "chunked")) {
    while (true) {
      auto sizeLine = reader.line();
      if (!sizeLine) return std::nullopt;
      std::size_t size = std::stoul(*sizeLine, nullptr, 16);
      auto chunk = reader.bytes(size + 2);
      if (!chunk) return std::nullopt;
      if (size == 0) break;
      request.body += chunk->substr(0, size);
    }
  } else if (auto length = request.header("Content-Length")) {
    auto body = reader.bytes(std::stoul(*length));
    if (!body) return std::nullopt;
    request.body = std::move(*body);
  }
  return request;
}

}  // namespace

std::optional<std::string> ReceivedHttpRequest::header(std::string_view name) const {
  for (const auto& [fieldName, value] : headers) {
    if (equalsIgnoringCase(fieldName, name)) return value;
  }
  return std::nullopt;
}

ScriptedHttpAnswer ScriptedHttpAnswer::respond(int status, std::string body, HttpFieldList headers) {
  ScriptedHttpAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  answer.headers = std::move(headers);
  return answer;
}

ScriptedHttpAnswer ScriptedHttpAnswer::closeWithoutAnswer() {
  ScriptedHttpAnswer answer;
  answer.kind = Kind::closeWithoutAnswer;
  return answer;
}

ScriptedHttpAnswer ScriptedHttpAnswer::closeMidAnswer() {
  ScriptedHttpAnswer answer;
  answer.kind = Kind::closeMidAnswer;
  return answer;
}

ScriptedHttpAnswer ScriptedHttpAnswer::hold() {
  ScriptedHttpAnswer answer;
  answer.kind = Kind::hold;
  return answer;
}

LocalHttpServer::LocalHttpServer() {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("LocalHttpServer: socket failed");
  int yes = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listenFd_);
    throw std::runtime_error("LocalHttpServer: cannot listen on the loopback interface");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
  stopping_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard guard(mutex_);
    threads.swap(connectionThreads_);
  }
  for (auto& thread : threads) thread.join();
  close(listenFd_);
}

std::string LocalHttpServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LocalHttpServer::enqueue(ScriptedHttpAnswer answer) {
  std::lock_guard guard(mutex_);
  script_.push_back(std::move(answer));
}

void LocalHttpServer::setDefaultAnswer(ScriptedHttpAnswer answer) {
  std::lock_guard guard(mutex_);
  defaultAnswer_ = std::move(answer);
}

std::vector<ReceivedHttpRequest> LocalHttpServer::requests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

std::size_t LocalHttpServer::requestCount() const {
  std::lock_guard guard(mutex_);
  return requests_.size();
}

std::size_t LocalHttpServer::connectionCount() const {
  std::lock_guard guard(mutex_);
  return connections_;
}

bool LocalHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return received_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void LocalHttpServer::releaseHeld() { ++releaseGeneration_; }

std::uint16_t LocalHttpServer::closedPort() {
  // Bind a port and let it go without listening: nothing else takes it in the short time a
  // test needs it, and connecting to it is refused.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

ScriptedHttpAnswer LocalHttpServer::nextAnswer() {
  std::lock_guard guard(mutex_);
  if (script_.empty()) return defaultAnswer_;
  ScriptedHttpAnswer answer = std::move(script_.front());
  script_.pop_front();
  return answer;
}

void LocalHttpServer::acceptLoop() {
  while (!stopping()) {
    pollfd p{listenFd_, POLLIN, 0};
    int ready = poll(&p, 1, kPollMs);
    if (ready <= 0) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard guard(mutex_);
    std::size_t connection = ++connections_;
    connectionThreads_.emplace_back([this, fd, connection] {
      blockBrokenPipeSignal();
      serve(fd, connection);
    });
  }
}

void LocalHttpServer::serve(int fd, std::size_t connection) {
  Reader reader(fd, stopping_);
  if (reader.startsWithGarbage()) {
    sendAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    close(fd);
    return;
  }
  while (!stopping()) {
    auto request = readRequest(reader);
    if (!request) break;
    request->connection = connection;
    bool closeAfter = false;
    if (auto value = request->header("Connection"); value && equalsIgnoringCase(*value, "close")) closeAfter = true;
    // A hold() answer lasts until a releaseHeld() made after the request was seen, so the
    // generation is read before anyone can learn of the request.
    std::uint64_t generation = releaseGeneration_.load();
    {
      std::lock_guard guard(mutex_);
      requests_.push_back(*request);
    }
    received_.notify_all();

    ScriptedHttpAnswer answer = nextAnswer();
    if (answer.kind == ScriptedHttpAnswer::Kind::closeWithoutAnswer) break;
    if (answer.kind == ScriptedHttpAnswer::Kind::closeMidAnswer) {
      sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1000\r\n\r\npartial answer");
      break;
    }
    if (answer.kind == ScriptedHttpAnswer::Kind::hold) {
      while (!stopping() && releaseGeneration_.load() == generation) {
        pollfd p{fd, POLLRDHUP, 0};
        int ready = poll(&p, 1, kPollMs);
        if (ready > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;  // the client gave up and closed
      }
      break;
    }
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) + "\r\n";
    head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
    if (closeAfter) head += "Connection: close\r\n";
    head += "\r\n";
    if (!sendAll(fd, head) || !sendAll(fd, answer.body) || closeAfter) break;
  }
  close(fd);
}

}  // namespace ml::test

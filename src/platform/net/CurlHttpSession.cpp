#include "platform/net/CurlHttpSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/dispatch/SerialQueue.h"
#include "platform/net/CurlErrors.h"
#include "platform/net/HttpHeaderLine.h"
#include "platform/net/UrlError.h"

namespace ml::net {

namespace {

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool hasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

long toMilliseconds(dispatch::Duration duration) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
  return static_cast<long>(std::clamp<std::int64_t>(ms, 1, 24LL * 3600 * 1000));
}

// How long the worker sleeps in curl_multi_poll when nothing wakes it; libcurl shortens it to
// its own next deadline, and start()/cancel() wake it at once.
constexpr int kPollMilliseconds = 1000;

}  // namespace

struct Transfer {
  HttpTaskId id = 0;
  HttpRequest request;
  HttpCompletion completion;
  std::unique_ptr<CURL, EasyDeleter> easy;
  std::unique_ptr<curl_slist, SlistDeleter> headerList;
  HttpHeaderBlockReader headerReader;
  std::vector<std::uint8_t> body;
  std::size_t maxBody = 0;
  bool bodyTooLarge = false;
  bool headersTooLarge = false;
  std::array<char, CURL_ERROR_SIZE> errorBuffer{};

  static size_t onBody(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maxBody) {
      transfer->bodyTooLarge = true;
      return 0;  // aborts the transfer with CURLE_WRITE_ERROR
    }
    transfer->body.insert(transfer->body.end(), data, data + bytes);
    return bytes;
  }

  static size_t onHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    size_t bytes = size * count;
    if (!transfer->headerReader.addLine(std::string_view(data, bytes))) {
      transfer->headersTooLarge = true;
      return 0;
    }
    return bytes;
  }
};

struct CurlHttpSession::Impl {
  explicit Impl(HttpSessionConfiguration configuration)
      : config(std::move(configuration)), delivery(config.delegateQueueLabel) {
    initialiseCurlOnce();
    multi = curl_multi_init();
    if (multi) {
      curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(std::max<std::size_t>(1, config.maxConnectionsPerHost)));
      worker = std::thread([this] { run(); });
    }
  }

  ~Impl() {
    {
      std::lock_guard guard(mutex);
      stopping = true;
      invalidated = true;
    }
    if (multi) {
      curl_multi_wakeup(multi);
      if (worker.joinable()) worker.join();
      curl_multi_cleanup(multi);
    }
    // Transfers that never reached the worker (no multi handle) still get their completion.
    for (auto& transfer : toAdd) deliver(*transfer, cancelledOutcome());
    toAdd.clear();
    // `delivery` drains (runs every completion posted so far) as it is destroyed.
  }

  static HttpOutcome cancelledOutcome() {
    HttpOutcome outcome;
    outcome.error = makeUrlError(UrlErrorCode::cancelled);
    return outcome;
  }

  void deliver(Transfer& transfer, HttpOutcome outcome) {
    if (!transfer.completion) return;
    delivery.async([completion = std::move(transfer.completion), outcome = std::move(outcome)] { completion(outcome); });
  }

  void wake() {
    if (multi) curl_multi_wakeup(multi);
  }

  // Sets every option of one transfer; false (with the error filled in) when it cannot be sent.
  bool configure(Transfer& t, std::optional<foundation::Error>& error) {
    for (const auto& [name, value] : t.request.headers) {
      if (name.empty() || hasLineBreakOrNul(name) || hasLineBreakOrNul(value) || name.find(':') != std::string::npos) {
        error = makeUrlError(UrlErrorCode::unknown, "header field " + name + " cannot be sent");
        return false;
      }
    }
    if (hasLineBreakOrNul(t.request.url) || hasLineBreakOrNul(t.request.method)) {
      error = makeUrlError(UrlErrorCode::badURL);
      return false;
    }
    t.easy.reset(curl_easy_init());
    if (!t.easy) {
      error = makeUrlError(UrlErrorCode::unknown, "no transfer handle");
      return false;
    }
    CURL* e = t.easy.get();
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_URL, t.request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    long timeout = toMilliseconds(t.request.timeout.value_or(config.requestTimeout));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, timeout);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeout);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer.data());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    t.maxBody = config.maxResponseBodyBytes;

    const std::string& method = t.request.method;
    bool sendsBody = false;
    if (method == "GET") {
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
      sendsBody = true;
      curl_easy_setopt(e, CURLOPT_POST, 1L);
      if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
      // The body stays in the Transfer until the transfer ends, so the library need not copy it.
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.request.body.size()));
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(t.request.body.data()));
    }

    curl_slist* list = nullptr;
    auto append = [&](const std::string& line) {
      curl_slist* grown = curl_slist_append(list, line.c_str());
      if (grown) list = grown;
      return grown != nullptr;
    };
    bool ok = true;
    for (const auto& [name, value] : t.request.headers) ok = ok && append(value.empty() ? name + ";" : name + ": " + value);
    // No "100 Continue" round trip, and no form content type the caller did not ask for.
    if (!t.request.headers.contains("Expect")) ok = ok && append("Expect:");
    if (sendsBody && !t.request.headers.contains("Content-Type")) ok = ok && append("Content-Type:");
    t.headerList.reset(list);
    if (!ok) {
      error = makeUrlError(UrlErrorCode::unknown, "out of memory");
      return false;
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headerList.get());
    return true;
  }

  void finish(Transfer& t, CURLcode code) {
    HttpOutcome outcome;
    if (code == CURLE_OK) {
      long status = 0;
      curl_easy_getinfo(t.easy.get(), CURLINFO_RESPONSE_CODE, &status);
      if (status <= 0) {
        outcome.error = makeUrlError(UrlErrorCode::badServerResponse, "no status");
      } else {
        HttpResponse response;
        response.statusCode = static_cast<int>(status);
        response.headers = t.headerReader.headers();
        char* effective = nullptr;
        curl_easy_getinfo(t.easy.get(), CURLINFO_EFFECTIVE_URL, &effective);
        response.url = effective ? effective : t.request.url;
        outcome.response = std::move(response);
        outcome.body = std::move(t.body);
      }
    } else {
      long osErrno = 0;
      curl_easy_getinfo(t.easy.get(), CURLINFO_OS_ERRNO, &osErrno);
      CurlFailure failure;
      failure.curlCode = code;
      failure.osErrno = static_cast<int>(osErrno);
      failure.bodyTooLarge = t.bodyTooLarge;
      failure.headersTooLarge = t.headersTooLarge;
      failure.detail = t.errorBuffer.data();
      outcome.error = urlErrorForCurlFailure(failure);
    }
    deliver(t, std::move(outcome));
  }

  void removeActive(HttpTaskId id, const std::optional<HttpOutcome>& outcome) {
    auto it = active.find(id);
    if (it == active.end()) return;
    curl_multi_remove_handle(multi, it->second->easy.get());
    if (outcome) deliver(*it->second, *outcome);
    active.erase(it);
  }

  void run() {
    while (true) {
      std::vector<std::unique_ptr<Transfer>> added;
      std::set<HttpTaskId> cancels;
      bool cancelEverything = false;
      bool stop = false;
      {
        std::lock_guard guard(mutex);
        added.swap(toAdd);
        cancels.swap(toCancel);
        cancelEverything = std::exchange(cancelAll, false);
        stop = stopping;
      }
      for (auto& transfer : added) {
        if (stop || cancelEverything || cancels.count(transfer->id)) {
          deliver(*transfer, cancelledOutcome());
          continue;
        }
        std::optional<foundation::Error> error;
        if (!configure(*transfer, error) || curl_multi_add_handle(multi, transfer->easy.get()) != CURLM_OK) {
          HttpOutcome outcome;
          outcome.error = error ? *error : makeUrlError(UrlErrorCode::unknown, "transfer not accepted");
          deliver(*transfer, std::move(outcome));
          continue;
        }
        HttpTaskId id = transfer->id;
        active.emplace(id, std::move(transfer));
      }
      for (HttpTaskId id : cancels) removeActive(id, cancelledOutcome());
      if (cancelEverything || stop) {
        while (!active.empty()) removeActive(active.begin()->first, cancelledOutcome());
      }
      if (stop) break;

      int running = 0;
      curl_multi_perform(multi, &running);
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        const auto& [kind, easy, outcome] = *message;
        if (kind != CURLMSG_DONE) continue;
        Transfer* transfer = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
        CURLcode code = outcome.result;
        if (!transfer) continue;
        HttpTaskId id = transfer->id;
        finish(*transfer, code);
        removeActive(id, std::nullopt);
      }
      curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
  }

  HttpSessionConfiguration config;
  dispatch::SerialQueue delivery;
  CURLM* multi = nullptr;

  std::mutex mutex;  // guards the members below
  std::vector<std::unique_ptr<Transfer>> toAdd;
  std::set<HttpTaskId> toCancel;
  bool cancelAll = false;
  bool stopping = false;
  bool invalidated = false;
  HttpTaskId nextId = 1;

  std::map<HttpTaskId, std::unique_ptr<Transfer>> active;  // the worker's own
  std::thread worker;
};

CurlHttpSession::CurlHttpSession(HttpSessionConfiguration configuration)
    : impl_(std::make_unique<Impl>(std::move(configuration))) {}

CurlHttpSession::~CurlHttpSession() = default;

void CurlHttpSession::initialiseLibrary() { initialiseCurlOnce(); }

std::shared_ptr<HttpSession> CurlHttpSession::make(const HttpSessionConfiguration& configuration) {
  return std::make_shared<CurlHttpSession>(configuration);
}

HttpTaskId CurlHttpSession::start(HttpRequest request, HttpCompletion completion) {
  auto transfer = std::make_unique<Transfer>();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  {
    std::lock_guard guard(impl_->mutex);
    transfer->id = impl_->nextId++;
    HttpTaskId id = transfer->id;
    if (impl_->invalidated || !impl_->multi) {
      impl_->deliver(*transfer, Impl::cancelledOutcome());
      return id;
    }
    impl_->toAdd.push_back(std::move(transfer));
    impl_->wake();
    return id;
  }
}

void CurlHttpSession::cancel(HttpTaskId task) {
  std::lock_guard guard(impl_->mutex);
  impl_->toCancel.insert(task);
  impl_->wake();
}

void CurlHttpSession::invalidateAndCancel() {
  std::lock_guard guard(impl_->mutex);
  impl_->invalidated = true;
  impl_->cancelAll = true;
  impl_->wake();
}

void CurlHttpSession::finishTasksAndInvalidate() {
  std::lock_guard guard(impl_->mutex);
  impl_->invalidated = true;
}

}  // namespace ml::net

#include "beacon/core/Ingestion/TLHttpIngestion.h"

#include <algorithm>

#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLConstants.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "beacon/core/Utf8.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/foundation/Uuid.h"
#include "platform/net/CurlHttpSession.h"
#include "platform/net/Url.h"
#include "platform/net/UrlError.h"

namespace ml::beacon {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool verboseLogging() { return TLLogger::currentLogLevel() <= TLLogLevel::verbose; }

}  // namespace

std::shared_ptr<TLHttpIngestion> TLHttpIngestion::make(TLHttpIngestionConfiguration configuration) {
  auto ingestion = std::make_shared<TLHttpIngestion>(ConstructionKey{}, std::move(configuration));
  didCreate(ingestion);
  return ingestion;
}

TLHttpIngestion::TLHttpIngestion(ConstructionKey, TLHttpIngestionConfiguration configuration)
    : baseURL_(std::move(configuration.baseUrl)),
      apiPath_(std::move(configuration.apiPath)),
      httpHeaders_(std::move(configuration.headers)),
      reachability_(configuration.reachability ? std::move(configuration.reachability)
                                               : TLReachability::reachabilityForInternetConnection()),
      callsRetryIntervals_(std::move(configuration.retryIntervals)),
      maxNumberOfConnections_(configuration.maxNumberOfConnections),
      clock_(configuration.environment.clock ? configuration.environment.clock : &dispatch::Clock::system()),
      retryQueue_(configuration.environment.retryQueue ? configuration.environment.retryQueue
                                                       : &dispatch::GlobalPool::shared()),
      sessionFactory_(configuration.environment.sessionFactory ? std::move(configuration.environment.sessionFactory)
                                                               : net::HttpSessionFactory(&net::CurlHttpSession::make)),
      requestTimeout_(configuration.environment.requestTimeout) {
  std::string query;
  for (const auto& [name, value] : configuration.queryStrings) {
    query += (query.empty() ? "" : "&") + name + "=" + value;
  }
  if (!query.empty()) queryText_ = net::Url::percentEncodeQuery(query);
  sendURL_ = baseURL_ + apiPath_ + (queryText_.empty() ? "" : "?" + queryText_);
}

TLHttpIngestion::~TLHttpIngestion() {
  if (reachability_) {
    if (reachabilityObserver_) reachability_->removeObserver(*reachabilityObserver_);
    reachability_->stopNotifier();
  }
  // The session's destructor cancels what still runs; the completions find this object gone.
  if (session_) session_->invalidateAndCancel();
}

void TLHttpIngestion::didCreate(const std::shared_ptr<TLHttpIngestion>& ingestion) {
  std::lock_guard guard(ingestion->lock_);
  ingestion->observeReachability();
  ingestion->reachability_->startNotifier();
}

void TLHttpIngestion::observeReachability() {
  std::weak_ptr<TLHttpIngestion> weakSelf = weak_from_this();
  reachabilityObserver_ = reachability_->addObserver([weakSelf](TLReachability&) {
    if (auto self = weakSelf.lock()) self->networkStateChanged();
  });
}

// ===== Sending

void TLHttpIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
                                const std::optional<std::string>& authToken, TLIngestionCompletion completionHandler) {
  sendAsync(container, std::nullopt, authToken, foundation::Uuid::random().string(), std::move(completionHandler));
}

void TLHttpIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
                                TLIngestionCompletion completionHandler) {
  sendAsync(container, std::nullopt, std::nullopt, foundation::Uuid::random().string(), std::move(completionHandler));
}

void TLHttpIngestion::sendAsyncWithETag(const std::shared_ptr<TLLogContainer>& container,
                                        const std::optional<std::string>& eTag,
                                        TLIngestionCompletion completionHandler) {
  sendAsync(container, eTag, std::nullopt, foundation::Uuid::random().string(), std::move(completionHandler));
}

void TLHttpIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
                                const std::optional<std::string>& eTag, const std::optional<std::string>& authToken,
                                TLIngestionCompletion completionHandler) {
  sendAsync(container, eTag, authToken, foundation::Uuid::random().string(), std::move(completionHandler));
}

void TLHttpIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
                                const std::optional<std::string>& eTag, const std::optional<std::string>& authToken,
                                const std::string& callId, TLIngestionCompletion completionHandler) {
  std::lock_guard guard(lock_);
  if (pendingCalls_.count(callId)) return;
  auto call = std::make_shared<TLIngestionCall>(callsRetryIntervals_, *clock_, *retryQueue_);
  call->delegate = std::static_pointer_cast<TLIngestionCallDelegate>(shared_from_this());
  call->data = container;
  call->authToken = authToken;
  call->eTag = eTag;
  call->callId = callId;
  call->completionHandler = std::move(completionHandler);
  pendingCalls_[callId] = call;
  sendCallAsync(call);
}

void TLHttpIngestion::sendCallAsync(const std::shared_ptr<TLIngestionCall>& call) {
  std::lock_guard guard(lock_);
  if (!call) return;
  // Only a call that is still pending, and not already on the wire, is sent: a retry timer that
  // fires after the call was dropped, or while resume() already sent it, does nothing.
  auto pending = pendingCalls_.find(call->callId);
  if (pending == pendingCalls_.end() || pending->second != call || call->submitted) return;
  call->resetTimer();
  if (paused_ || !enabled_) return;
  auto request = createRequest(call->data, call->eTag, call->authToken);
  if (!request) return;
  if (!request->timeout) request->timeout = requestTimeout_;
  std::weak_ptr<TLHttpIngestion> weakSelf = weak_from_this();
  session().start(std::move(*request), [weakSelf, call](const net::HttpOutcome& outcome) {
    if (auto self = weakSelf.lock()) self->handleResponse(call, outcome);
  });
  call->submitted = true;
}

void TLHttpIngestion::handleResponse(const std::shared_ptr<TLIngestionCall>& call, const net::HttpOutcome& outcome) {
  std::lock_guard guard(lock_);
  if (outcome.error) {
    TL_LOG_DEBUG(kBeaconLogTag, "HTTP request error with code: " << outcome.error->code << ", domain: "
                                                                 << outcome.error->domain
                                                                 << ", description: " << outcome.error->message);
  } else if (outcome.response && verboseLogging()) {
    auto payload = payloadForLog(outcome.response->headers.value("Content-Type"), outcome.body);
    TL_LOG_VERBOSE(kBeaconLogTag, "HTTP response received with status code: " << outcome.response->statusCode
                                                                               << ", payload:\n"
                                                                               << payload.value_or("(null)"));
  }
  call->submitted = false;
  bool networkUnavailable = reachability_->currentReachabilityStatus() == TLNetworkStatus::notReachable;
  call->ingestionCallCompleted(outcome, networkUnavailable);
}

void TLHttpIngestion::callCompletedWithResult(const std::shared_ptr<TLIngestionCall>& call,
                                              TLIngestionCallResult result) {
  std::lock_guard guard(lock_);
  // The call leaves the pending list first, so switching off below does not end it a second time.
  bool removed = false;
  if (call && !call->callId.empty()) {
    auto pending = pendingCalls_.find(call->callId);
    if (pending != pendingCalls_.end() && pending->second == call) {
      pendingCalls_.erase(pending);
      removed = true;
    }
  }
  if (result == TLIngestionCallResult::recoverableError) {
    setEnabled(false, false);
  } else if (result == TLIngestionCallResult::fatalError) {
    setEnabled(false, true);
    forEachDelegate([&](TLIngestionDelegate& delegate) { delegate.ingestionDidReceiveFatalError(*this); });
  }
  if (!call || call->callId.empty()) {
    TL_LOG_WARNING(kBeaconLogTag, "Call object is invalid");
    return;
  }
  if (removed) {
    TL_LOG_INFO(kBeaconLogTag, "Removed call id:" << call->callId << " from pending calls:" << [&] {
      std::string ids;
      for (const auto& [id, pendingCall] : pendingCalls_) ids += (ids.empty() ? "" : ", ") + id;
      return "(" + ids + ")";
    }());
  }
}

// ===== Listeners, pause, resume, switch

void TLHttpIngestion::addDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(lock_);
  for (const auto& existing : delegates_) {
    if (existing.lock() == delegate) return;
  }
  delegates_.push_back(delegate);
}

void TLHttpIngestion::removeDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) {
  std::lock_guard guard(lock_);
  delegates_.erase(std::remove_if(delegates_.begin(), delegates_.end(),
                                  [&](const auto& weak) {
                                    auto strong = weak.lock();
                                    return !strong || strong == delegate;
                                  }),
                   delegates_.end());
}

template <class Visit>
void TLHttpIngestion::forEachDelegate(Visit&& visit) {
  std::vector<std::shared_ptr<TLIngestionDelegate>> snapshot;
  for (const auto& weak : delegates_) {
    if (auto strong = weak.lock()) snapshot.push_back(std::move(strong));
  }
  for (const auto& delegate : snapshot) visit(*delegate);
}

void TLHttpIngestion::pause() {
  std::lock_guard guard(lock_);
  if (paused_) return;
  TL_LOG_INFO(kBeaconLogTag, "Pause ingestion.");
  paused_ = true;
  for (const auto& [id, call] : pendingCalls_) {
    if (!call->submitted) call->resetRetry();
  }
  forEachDelegate([&](TLIngestionDelegate& delegate) { delegate.ingestionDidPause(*this); });
}

void TLHttpIngestion::resume() {
  std::lock_guard guard(lock_);
  if (!paused_ || !enabled_) return;
  TL_LOG_INFO(kBeaconLogTag, "Resume ingestion.");
  paused_ = false;
  std::vector<std::shared_ptr<TLIngestionCall>> waiting;
  for (const auto& [id, call] : pendingCalls_) {
    if (!call->submitted) waiting.push_back(call);
  }
  for (const auto& call : waiting) sendCallAsync(call);
  forEachDelegate([&](TLIngestionDelegate& delegate) { delegate.ingestionDidResume(*this); });
}

bool TLHttpIngestion::isPaused() const {
  std::lock_guard guard(lock_);
  return paused_;
}

void TLHttpIngestion::setPaused(bool paused) {
  std::lock_guard guard(lock_);
  paused_ = paused;
}

bool TLHttpIngestion::isEnabled() const {
  std::lock_guard guard(lock_);
  return enabled_;
}

void TLHttpIngestion::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
  std::lock_guard guard(lock_);
  if (enabled_ == isEnabled) return;
  enabled_ = isEnabled;
  if (isEnabled) {
    // The notifier's first notification resumes the ingestion when the network is there.
    reachability_->startNotifier();
    return;
  }
  reachability_->stopNotifier();
  pause();
  if (!deleteDataOnDisabled) return;
  retireSession();
  // Every call still pending ends now: those with a running transfer through its cancellation,
  // the others here. Their callers hear of each one, so nothing waits for an answer that will
  // never come.
  auto dropped = std::move(pendingCalls_);
  pendingCalls_.clear();
  for (const auto& [id, call] : dropped) {
    if (!call->submitted) call->finishWithoutAnswer(net::makeUrlError(net::UrlErrorCode::cancelled));
  }
}

void TLHttpIngestion::retireSession() {
  if (!session_) return;
  session_->invalidateAndCancel();
  // The session is released away from this lock: its destruction waits for its delivery queue,
  // whose completions take this lock.
  retryQueue_->async([retired = std::move(session_)]() mutable { retired.reset(); });
  session_.reset();
}

net::HttpSession& TLHttpIngestion::session() {
  if (!session_) {
    net::HttpSessionConfiguration configuration;
    configuration.requestTimeout = requestTimeout_;
    configuration.maxConnectionsPerHost = maxNumberOfConnections_;
    configuration.delegateQueueLabel = std::string(kTLReverseDomainPrefix) + ".Ingestion";
    session_ = sessionFactory_(configuration);
  }
  return *session_;
}

std::shared_ptr<TLReachability> TLHttpIngestion::reachability() const {
  std::lock_guard guard(lock_);
  return reachability_;
}

void TLHttpIngestion::setReachability(std::shared_ptr<TLReachability> reachability) {
  if (!reachability) return;
  std::lock_guard guard(lock_);
  if (reachabilityObserver_) reachability_->removeObserver(*reachabilityObserver_);
  bool watching = reachability_->isNotifierRunning();
  reachability_->stopNotifier();
  reachability_ = std::move(reachability);
  observeReachability();
  if (watching) reachability_->startNotifier();
}

void TLHttpIngestion::networkStateChanged() {
  std::lock_guard guard(lock_);
  if (reachability_->currentReachabilityStatus() == TLNetworkStatus::notReachable) {
    TL_LOG_INFO(kBeaconLogTag, "Internet connection is down.");
    pause();
  } else {
    TL_LOG_INFO(kBeaconLogTag, "Internet connection is up.");
    resume();
  }
}

// ===== Endpoint

void TLHttpIngestion::setBaseURL(const std::string& baseURL) {
  std::lock_guard guard(lock_);
  baseURL_ = baseURL;
  auto newUrl = net::Url::parse(baseURL + apiPath_);
  if (!newUrl) {
    TL_LOG_INFO(kBeaconLogTag, "Failed to update HTTP URL " << sendURL_ << " with " << baseURL);
    return;
  }
  // The query of the current URL stays (the one built at creation when the current URL is not
  // a URL at all).
  auto current = net::Url::parse(sendURL_);
  net::Url updated = current ? *current : *newUrl;
  if (!current) updated.query = queryText_.empty() ? std::nullopt : std::optional<std::string>(queryText_);
  updated.scheme = newUrl->scheme;
  updated.user = newUrl->user;
  updated.password = newUrl->password;
  updated.host = newUrl->host;
  updated.port = newUrl->port;
  updated.path = newUrl->path;
  if (auto text = updated.string()) {
    sendURL_ = *text;
  } else {
    TL_LOG_INFO(kBeaconLogTag, "Failed to update HTTP URL " << sendURL_ << " with " << baseURL);
  }
}

std::string TLHttpIngestion::baseURL() const {
  std::lock_guard guard(lock_);
  return baseURL_;
}

std::string TLHttpIngestion::sendURL() const {
  std::lock_guard guard(lock_);
  return sendURL_;
}

std::size_t TLHttpIngestion::pendingCallCount() const {
  std::lock_guard guard(lock_);
  return pendingCalls_.size();
}

std::shared_ptr<TLIngestionCall> TLHttpIngestion::pendingCall(const std::string& callId) const {
  std::lock_guard guard(lock_);
  auto it = pendingCalls_.find(callId);
  return it == pendingCalls_.end() ? nullptr : it->second;
}

// ===== Requests and log output

std::optional<net::HttpRequest> TLHttpIngestion::createRequest(const std::shared_ptr<TLLogContainer>&,
                                                               const std::optional<std::string>&,
                                                               const std::optional<std::string>&) {
  return std::nullopt;
}

std::string TLHttpIngestion::obfuscateHeaderValue(std::string_view value, std::string_view) const {
  return std::string(value);
}

std::string TLHttpIngestion::prettyPrintHeaders(const net::HttpHeaders& headers) const {
  std::string text;
  for (const auto& [name, value] : headers) {
    text += (text.empty() ? "" : ", ") + name + " = " + obfuscateHeaderValue(value, name);
  }
  return text;
}

void TLHttpIngestion::logRequest(const net::HttpRequest& request) const {
  if (!verboseLogging()) return;
  TL_LOG_VERBOSE(kBeaconLogTag, "URL: " << request.url);
  TL_LOG_VERBOSE(kBeaconLogTag, "Headers: " << prettyPrintHeaders(request.headers));
}

std::optional<std::string> TLHttpIngestion::eTagFromResponse(const net::HttpResponse& response) {
  return response.headers.value("etag");
}

std::optional<std::string> TLHttpIngestion::payloadForLog(const std::optional<std::string>& contentType,
                                                          const std::vector<std::uint8_t>& body) {
  if (body.empty()) return std::nullopt;
  std::string type = contentType.value_or("");
  std::string text;
  if (startsWith(type, "application/json")) {
    text = TLUtility::prettyPrintJson(std::span<const std::uint8_t>(body)).value_or("");
  } else if (!type.empty() && !startsWith(type, "text/") && !startsWith(type, "application/")) {
    return "<binary>";
  } else {
    text.assign(body.begin(), body.end());
  }
  if (!utf8::isValid(text)) return "<binary>";
  text = TLHttpUtil::hideTokensInJsonText(text);
  if (text.size() > kMaxLoggedPayloadBytes) {
    std::size_t cut = kMaxLoggedPayloadBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a sequence
    text = text.substr(0, cut) + "...";
  }
  return text;
}

}  // namespace ml::beacon

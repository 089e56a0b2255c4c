#include "beacon/core/Ingestion/TLHttpIngestion.h"

#include <algorithm>

#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLConstants.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "beacon/core/Utf8.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/QueueAssert.h"
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
    : ownerQueue_(std::string(kTLReverseDomainPrefix) + ".IngestionOwner"),
      baseURL_(std::move(configuration.baseUrl)),
      apiPath_(std::move(configuration.apiPath)),
      httpHeaders_(std::move(configuration.headers)),
      reachability_(configuration.reachability ? std::move(configuration.reachability)
                                               : TLReachability::reachabilityForInternetConnection()),
      callsRetryIntervals_(std::move(configuration.retryIntervals)),
      maxNumberOfConnections_(configuration.maxNumberOfConnections),
      clock_(configuration.environment.clock ? configuration.environment.clock : &dispatch::Clock::system()),
      releaseQueue_(configuration.environment.retryQueue ? configuration.environment.retryQueue
                                                       : &dispatch::GlobalPool::shared()),
      sessionFactory_(configuration.environment.sessionFactory ? std::move(configuration.environment.sessionFactory)
                                                               : net::HttpSessionFactory(&net::CurlHttpSession::make)),
      requestTimeout_(configuration.environment.requestTimeout) {
  // Sessions are made later on the owner queue's thread; the library's set-up belongs here.
  net::CurlHttpSession::initialiseLibrary();
  std::string query;
  for (const auto& [name, value] : configuration.queryStrings) {
    query += (query.empty() ? "" : "&") + name + "=" + value;
  }
  if (!query.empty()) queryText_ = net::Url::percentEncodeQuery(query);
  sendURL_ = baseURL_ + apiPath_ + (queryText_.empty() ? "" : "?" + queryText_);
}

// Nothing else holds the object any more (every task of the owner queue holds it weakly, and a
// query's caller holds it), so the state is this thread's to tear down.
TLHttpIngestion::~TLHttpIngestion() {
  if (reachability_) {
    if (reachabilityObserver_) reachability_->removeObserver(*reachabilityObserver_);
    reachability_->stopNotifier();
  }
  // A call kept alive elsewhere must not fire into the owner queue once it is gone.
  for (const auto& [id, call] : pendingCalls_) call->resetTimer();
  // The session's destructor cancels what still runs; the completions find this object gone.
  if (session_) session_->invalidateAndCancel();
}

void TLHttpIngestion::didCreate(const std::shared_ptr<TLHttpIngestion>& ingestion) {
  ingestion->post([raw = ingestion.get()] {
    raw->observeReachability();
    raw->reachability_->startNotifier();
  });
}

void TLHttpIngestion::post(std::function<void()> task) {
  ownerQueue_.async([weakSelf = weak_from_this(), task = std::move(task)] {
    // The task may capture `this`: it only runs while the object lives. After shutdown() nothing
    // runs, so no late answer or command starts work (a transfer, a completion) again.
    if (auto self = weakSelf.lock(); self && !self->shutDown_) task();
  });
}

void TLHttpIngestion::observeReachability() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  std::weak_ptr<TLHttpIngestion> weakSelf = weak_from_this();
  reachabilityObserver_ = reachability_->addObserver([weakSelf](TLReachability& sender) {
    auto self = weakSelf.lock();
    if (!self) return;
    // The first notification comes synchronously from startNotifier(), called on the owner
    // queue: handled at once, so whoever enables the ingestion finds it resumed. The others come
    // from the monitor's thread.
    if (self->ownerQueue_.isCurrent()) {
      if (&sender == self->reachability_.get()) self->networkStateChanged();
      return;
    }
    self->post([raw = self.get(), sender = &sender] {
      // A notification of a watcher replaced meanwhile says nothing about the current one.
      if (sender == raw->reachability_.get()) raw->networkStateChanged();
    });
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
  post([this, container, eTag, authToken, callId, completionHandler = std::move(completionHandler)]() mutable {
    if (pendingCalls_.count(callId)) return;
    auto call = std::make_shared<TLIngestionCall>(callsRetryIntervals_, *clock_, ownerQueue_);
    call->delegate = std::static_pointer_cast<TLIngestionCallDelegate>(shared_from_this());
    call->data = container;
    call->authToken = authToken;
    call->eTag = eTag;
    call->callId = callId;
    call->completionHandler = std::move(completionHandler);
    pendingCalls_[callId] = call;
    sendOnQueue(call);
  });
}

void TLHttpIngestion::sendCallAsync(const std::shared_ptr<TLIngestionCall>& call) {
  if (ownerQueue_.isCurrent()) {
    sendOnQueue(call);
  } else {
    post([this, call] { sendOnQueue(call); });
  }
}

void TLHttpIngestion::sendOnQueue(const std::shared_ptr<TLIngestionCall>& call) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (!call) return;
  // Only a call that is still pending, and not already on the wire, is sent: a call that was
  // dropped, or that resume() already sent, is left alone.
  auto pending = pendingCalls_.find(call->callId);
  if (pending == pendingCalls_.end() || pending->second != call || call->submitted) return;
  call->resetTimer();
  if (paused_ || !enabled_ || shutDown_) return;
  auto request = makeRequest(call->data, call->eTag, call->authToken);
  if (!request) return;
  if (!request->timeout) request->timeout = requestTimeout_;
  std::weak_ptr<TLHttpIngestion> weakSelf = weak_from_this();
  // The answer comes on the session's delivery queue and is handed over at once.
  session().start(std::move(*request), [weakSelf, call](const net::HttpOutcome& outcome) {
    if (auto self = weakSelf.lock()) {
      self->post([raw = self.get(), call, outcome] { raw->handleResponse(call, outcome); });
    }
  });
  call->submitted = true;
}

void TLHttpIngestion::handleResponse(const std::shared_ptr<TLIngestionCall>& call, const net::HttpOutcome& outcome) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
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
  // Calls the caller's completion (and then callCompletedWithResult) here, on the owner queue.
  call->ingestionCallCompleted(outcome, networkUnavailable);
}

void TLHttpIngestion::callCompletedWithResult(const std::shared_ptr<TLIngestionCall>& call,
                                              TLIngestionCallResult result) {
  if (ownerQueue_.isCurrent()) {
    callEndedOnQueue(call, result);
  } else {
    post([this, call, result] { callEndedOnQueue(call, result); });
  }
}

void TLHttpIngestion::callEndedOnQueue(const std::shared_ptr<TLIngestionCall>& call, TLIngestionCallResult result) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
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
    setEnabledOnQueue(false, false);
  } else if (result == TLIngestionCallResult::fatalError) {
    setEnabledOnQueue(false, true);
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
  post([this, weakDelegate = std::weak_ptr<TLIngestionDelegate>(delegate)] {
    auto added = weakDelegate.lock();
    if (!added) return;
    for (const auto& existing : delegates_) {
      if (existing.lock() == added) return;
    }
    delegates_.push_back(added);
  });
}

void TLHttpIngestion::removeDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) {
  post([this, weakDelegate = std::weak_ptr<TLIngestionDelegate>(delegate)] {
    auto removed = weakDelegate.lock();
    std::erase_if(delegates_, [&](const auto& weak) {
      auto strong = weak.lock();
      return !strong || strong == removed;
    });
  });
}

template <class Visit>
void TLHttpIngestion::forEachDelegate(Visit&& visit) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  // On a copy: a delegate may add or remove delegates (which posts) or drop its last reference.
  std::vector<std::shared_ptr<TLIngestionDelegate>> snapshot;
  for (const auto& weak : delegates_) {
    if (auto strong = weak.lock()) snapshot.push_back(std::move(strong));
  }
  for (const auto& delegate : snapshot) visit(*delegate);
}

void TLHttpIngestion::pause() {
  post([this] { pauseOnQueue(); });
}

void TLHttpIngestion::pauseOnQueue() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (paused_) return;
  TL_LOG_INFO(kBeaconLogTag, "Pause ingestion.");
  paused_ = true;
  for (const auto& [id, call] : pendingCalls_) {
    if (!call->submitted) call->resetRetry();
  }
  forEachDelegate([&](TLIngestionDelegate& delegate) { delegate.ingestionDidPause(*this); });
}

void TLHttpIngestion::resume() {
  post([this] { resumeOnQueue(); });
}

void TLHttpIngestion::resumeOnQueue() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (!paused_ || !enabled_) return;
  TL_LOG_INFO(kBeaconLogTag, "Resume ingestion.");
  paused_ = false;
  std::vector<std::shared_ptr<TLIngestionCall>> waiting;
  for (const auto& [id, call] : pendingCalls_) {
    if (!call->submitted) waiting.push_back(call);
  }
  for (const auto& call : waiting) sendOnQueue(call);
  forEachDelegate([&](TLIngestionDelegate& delegate) { delegate.ingestionDidResume(*this); });
}

bool TLHttpIngestion::isPaused() const {
  return query([this] { return paused_; });
}

void TLHttpIngestion::setPaused(bool paused) {
  post([this, paused] { paused_ = paused; });
}

bool TLHttpIngestion::isEnabled() const {
  return query([this] { return enabled_; });
}

void TLHttpIngestion::setEnabled(bool isEnabled, bool deleteDataOnDisabled) {
  post([this, isEnabled, deleteDataOnDisabled] { setEnabledOnQueue(isEnabled, deleteDataOnDisabled); });
}

void TLHttpIngestion::setEnabledOnQueue(bool isEnabled, bool deleteDataOnDisabled) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (enabled_ == isEnabled) return;
  enabled_ = isEnabled;
  if (isEnabled) {
    // The notifier's first notification resumes the ingestion when the network is there.
    reachability_->startNotifier();
    return;
  }
  reachability_->stopNotifier();
  pauseOnQueue();
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

void TLHttpIngestion::shutdown() {
  const auto keepAlive = shared_from_this();
  std::shared_ptr<net::HttpSession> session;
  ownerQueue_.sync([&] {
    if (shutDown_) return;
    shutDown_ = true;
    enabled_ = false;
    paused_ = true;
    if (reachabilityObserver_) reachability_->removeObserver(*reachabilityObserver_);
    reachabilityObserver_.reset();
    reachability_->stopNotifier();
    // Their timers post to the owner queue; the calls themselves go with the transfers below.
    for (const auto& [id, call] : pendingCalls_) call->resetTimer();
    pendingCalls_.clear();
    session = std::move(session_);
    session_.reset();
    if (session) session->invalidateAndCancel();
  });
  // Here, not on the owner queue: the session's destruction joins its transfer thread and runs
  // the completions still due on its delivery queue, which post to the owner queue (and find
  // the ingestion shut down). `keepAlive` holds the ingestion meanwhile, so none of them is
  // its last holder.
  session.reset();
  // Sessions retired earlier end on the helper queue, their threads too: waited for, so that
  // none runs into the program's static teardown.
  {
    std::unique_lock guard(retiredSessions_->lock);
    dispatch::MainQueue::blockingWait(guard, retiredSessions_->released,
                                      [&] { return retiredSessions_->pending == 0; });
  }
  // Whatever those completions posted has run (as nothing) once this returns.
  ownerQueue_.sync([] {});
}

void TLHttpIngestion::retireSession() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (!session_) return;
  session_->invalidateAndCancel();
  // Released on the helper queue: the session's destruction joins its transfer thread.
  {
    std::lock_guard guard(retiredSessions_->lock);
    ++retiredSessions_->pending;
  }
  releaseQueue_->async([retired = std::move(session_), sessions = retiredSessions_]() mutable {
    retired.reset();
    {
      std::lock_guard guard(sessions->lock);
      --sessions->pending;
    }
    sessions->released.notify_all();
  });
  session_.reset();
}

net::HttpSession& TLHttpIngestion::session() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
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
  return query([this] { return reachability_; });
}

void TLHttpIngestion::setReachability(std::shared_ptr<TLReachability> reachability) {
  if (!reachability) return;
  post([this, reachability = std::move(reachability)]() mutable {
    if (reachabilityObserver_) reachability_->removeObserver(*reachabilityObserver_);
    bool watching = reachability_->isNotifierRunning();
    reachability_->stopNotifier();
    reachability_ = std::move(reachability);
    observeReachability();
    if (watching) reachability_->startNotifier();
  });
}

void TLHttpIngestion::networkStateChanged() {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  if (reachability_->currentReachabilityStatus() == TLNetworkStatus::notReachable) {
    TL_LOG_INFO(kBeaconLogTag, "Internet connection is down.");
    pauseOnQueue();
  } else {
    TL_LOG_INFO(kBeaconLogTag, "Internet connection is up.");
    resumeOnQueue();
  }
}

// ===== Endpoint

void TLHttpIngestion::setBaseURL(const std::string& baseURL) {
  post([this, baseURL] {
    baseURL_ = baseURL;
    auto newUrl = net::Url::parse(baseURL + apiPath_);
    if (!newUrl) {
      TL_LOG_INFO(kBeaconLogTag, "Failed to update HTTP URL " << sendURL_ << " with " << baseURL);
      return;
    }
    // The query of the current URL stays (the one built at creation when the current URL is
    // not a URL at all).
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
  });
}

std::string TLHttpIngestion::baseURL() const {
  return query([this] { return baseURL_; });
}

std::string TLHttpIngestion::sendURL() const {
  return query([this] { return sendURL_; });
}

const std::string& TLHttpIngestion::currentSendURL() const {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
  return sendURL_;
}

std::size_t TLHttpIngestion::pendingCallCount() const {
  return query([this] { return pendingCalls_.size(); });
}

std::shared_ptr<TLIngestionCall> TLHttpIngestion::pendingCall(const std::string& callId) const {
  return query([&]() -> std::shared_ptr<TLIngestionCall> {
    auto it = pendingCalls_.find(callId);
    return it == pendingCalls_.end() ? nullptr : it->second;
  });
}

// ===== Requests and log output

std::optional<net::HttpRequest> TLHttpIngestion::createRequest(const std::shared_ptr<TLLogContainer>& container,
                                                               const std::optional<std::string>& eTag,
                                                               const std::optional<std::string>& authToken) {
  return query([&] { return makeRequest(container, eTag, authToken); });
}

std::optional<net::HttpRequest> TLHttpIngestion::makeRequest(const std::shared_ptr<TLLogContainer>&,
                                                             const std::optional<std::string>&,
                                                             const std::optional<std::string>&) {
  ML_ASSERT_ON_QUEUE(ownerQueue_);
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

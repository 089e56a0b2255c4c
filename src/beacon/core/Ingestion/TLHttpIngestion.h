#pragma once
// The client's HTTP sender. A caller (a channel unit) hands it a batch with an optional auth
// token and a completion; the ingestion wraps it in a TLIngestionCall, posts it with one shared
// HTTP session, retries failures worth retrying on a growing, randomised schedule, and reports
// each call's end once to the caller (and its result to itself). It pauses while the network is
// away and resumes when it returns, and switches itself off on answers that must end sending.
// Subclasses build the request (TLBeaconIngestion, TLCommonCollectorIngestion).
//
// The end of a call, by its outcome:
//   - network lost (offline, connection lost) or TLS failure while the reachability reports the
//     network gone: no result; the call waits, with a fresh retry schedule, for resume();
//   - no answer (status 0), 408, 429 or 5xx while retries remain: retried after the next delay;
//   - otherwise the completion gets the status (none without an answer), the body and an error:
//     the transport error, or for an answer other than 200 the client's code-101 error; the
//     ingestion then takes the result: after the last retry of a recoverable failure it switches
//     off keeping data (500); on any other error it switches off dropping data and tells its
//     delegates of the fatal error (999); otherwise (200, or a transfer it cancelled) nothing.
// Every accepted call ends with exactly one completion, except a call sent again under an id
// that is still pending (ignored) and calls alive when the ingestion is destroyed or shut down.
// Calls dropped by switching off with deletion end with a `cancelled` error.
//
// Threads: the ingestion owns one serial queue, and everything it keeps (pending calls, the
// switch and pause flags, the listeners, the endpoint, the session) belongs to that queue.
// Commands (sending, pause, resume, the switch, listeners, endpoint and reachability changes)
// may be called from any thread and are posted there, in the order they were made. Queries
// (isPaused(), pendingCallCount(), sendURL(), createRequest(), ...) run there too and wait for
// it, so they see every command made before them; from the queue itself they run inline.
// Answers arrive on the session's delivery queue, reachability changes on the monitor's thread:
// both are posted to the owner queue, and retry timers fire on it. No lock is held while a
// completion or a delegate callback runs (on the owner queue); they must not wait for a thread
// that may itself be waiting for this ingestion (posting work to their own queue is the rule).
//
// Made only through make() (or a subclass's create()), which also starts watching the network.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "beacon/core/Channel/TLIngestionProtocol.h"
#include "beacon/core/Ingestion/TLIngestionCall.h"
#include "beacon/core/Ingestion/TLIngestionCallDelegate.h"
#include "beacon/core/Ingestion/TLReachability.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/net/HttpRequest.h"
#include "platform/net/HttpSession.h"

namespace ml::beacon {

class TLLogContainer;

// Where an ingestion takes its time, a helper thread and its HTTP session from.
struct TLHttpIngestionEnvironment {
  dispatch::Clock* clock = nullptr;           // the system clock when null
  // Where a session dropped by switching off is released (its destruction joins its transfer
  // thread, which the owner queue does not wait for); the global pool when null.
  dispatch::Queue* retryQueue = nullptr;
  net::HttpSessionFactory sessionFactory;     // a CurlHttpSession when empty
  dispatch::Duration requestTimeout = std::chrono::seconds(60);
};

struct TLHttpIngestionConfiguration {
  std::string baseUrl;
  std::string apiPath;
  std::map<std::string, std::string> headers;  // fixed headers of every request
  std::vector<std::pair<std::string, std::string>> queryStrings;  // in this order
  std::shared_ptr<TLReachability> reachability;  // the internet reachability when null
  std::vector<std::uint32_t> retryIntervals{10, 300, 1200};  // seconds
  std::size_t maxNumberOfConnections = 4;  // per host
  TLHttpIngestionEnvironment environment;
};

class TLHttpIngestion : public TLIngestionProtocol,
                        public TLIngestionCallDelegate,
                        public std::enable_shared_from_this<TLHttpIngestion> {
 protected:
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  static std::shared_ptr<TLHttpIngestion> make(TLHttpIngestionConfiguration configuration);
  TLHttpIngestion(ConstructionKey, TLHttpIngestionConfiguration configuration);
  // Stops watching the network, drops the retry timers and cancels the transfers still running
  // (their batches stay stored by their callers and go out later). Runs on whichever thread lets
  // go of the last reference, the owner queue included.
  ~TLHttpIngestion() override;
  TLHttpIngestion(const TLHttpIngestion&) = delete;
  TLHttpIngestion& operator=(const TLHttpIngestion&) = delete;

  // --- Sending. Each form makes a fresh UUID call id, except the full one.
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& authToken,
                 TLIngestionCompletion completionHandler) override;
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, TLIngestionCompletion completionHandler);
  void sendAsyncWithETag(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& eTag,
                         TLIngestionCompletion completionHandler);
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& eTag,
                 const std::optional<std::string>& authToken, TLIngestionCompletion completionHandler);
  // Ignored when a call with that id is pending.
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& eTag,
                 const std::optional<std::string>& authToken, const std::string& callId,
                 TLIngestionCompletion completionHandler);

  // --- Listeners (held weakly), pause and resume, the switch
  void addDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) override;
  void removeDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) override;
  // Stops sending: calls waiting for a retry lose their timer (running transfers finish).
  void pause() override;
  // Sends every pending call that has no running transfer; only while enabled.
  void resume() override;
  bool isPaused() const override;
  void setPaused(bool paused);
  bool isReadyToSend() const override { return true; }
  // Off: stops watching the network and pauses; with deletion also cancels every transfer and
  // ends every pending call with `cancelled`. On: watches the network again, which resumes it
  // when the network is there (before the next query sees it).
  void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;
  bool isEnabled() const;

  // Ends the ingestion's work for good (the client's shutdown, before the program's static
  // objects go): stops watching the network, drops the retry timers and the pending calls
  // without their completions (their batches stay with their callers), cancels the transfers
  // still running and waits until the session's threads have ended, and until every session
  // retired earlier by switching off with deletion has been released on the helper queue. Every
  // command made later is dropped, queries still answer. Once it returns no thread of the
  // ingestion holds it, runs its work or calls a completion: whoever lets go of it last destroys
  // it without waiting for an answer. Idempotent; called from any thread but the ingestion's own and its completions'.
  void shutdown();

  std::shared_ptr<TLReachability> reachability() const;
  void setReachability(std::shared_ptr<TLReachability> reachability);

  // --- TLIngestionCallDelegate: what a call reports. Its calls come from the owner queue (a
  // retry timer, the end of a transfer) and run inline; from elsewhere they are posted there.
  void sendCallAsync(const std::shared_ptr<TLIngestionCall>& call) override;
  void callCompletedWithResult(const std::shared_ptr<TLIngestionCall>& call, TLIngestionCallResult result) override;

  // --- The endpoint
  // Takes scheme, user, password, host, port and path from `baseURL` + the API path and keeps
  // the query of the current send URL; a text that does not make a URL is refused (logged) and
  // the old URL kept.
  void setBaseURL(const std::string& baseURL);
  std::string baseURL() const;
  const std::string& apiPath() const { return apiPath_; }
  std::string sendURL() const;
  // Fixed at creation, so readable from any thread.
  const std::map<std::string, std::string>& httpHeaders() const { return httpHeaders_; }
  const std::vector<std::uint32_t>& callsRetryIntervals() const { return callsRetryIntervals_; }
  std::size_t maxNumberOfConnections() const { return maxNumberOfConnections_; }

  std::size_t pendingCallCount() const;
  std::shared_ptr<TLIngestionCall> pendingCall(const std::string& callId) const;

  // --- For subclasses and log output
  // The request of a call (makeRequest(), built on the owner queue); none in this class (the
  // call then waits in the pending list).
  std::optional<net::HttpRequest> createRequest(const std::shared_ptr<TLLogContainer>& container,
                                                const std::optional<std::string>& eTag,
                                                const std::optional<std::string>& authToken);
  // The value as log output may show it; unchanged in this class.
  virtual std::string obfuscateHeaderValue(std::string_view value, std::string_view key) const;
  // "<name> = <value>" per header (values through obfuscateHeaderValue), joined by ", ".
  std::string prettyPrintHeaders(const net::HttpHeaders& headers) const;
  // The value of the answer's "ETag" field.
  static std::optional<std::string> eTagFromResponse(const net::HttpResponse& response);
  // What the verbose log line shows of an answer's body: JSON re-indented, text as it is (both
  // with every "token" value masked), "<binary>" for other content types and bytes that are not
  // UTF-8; nothing for an empty body. Long payloads are cut after kMaxLoggedPayloadBytes.
  static constexpr std::size_t kMaxLoggedPayloadBytes = 64 * 1024;
  static std::optional<std::string> payloadForLog(const std::optional<std::string>& contentType,
                                                  const std::vector<std::uint8_t>& body);

 protected:
  // Starts watching the network; called by every factory once the object is shared.
  static void didCreate(const std::shared_ptr<TLHttpIngestion>& ingestion);
  dispatch::Clock& clock() const { return *clock_; }
  // The queue that owns the state, for subclasses' own state.
  dispatch::SerialQueue& ownerQueue() const { return ownerQueue_; }
  // Runs `task` on the owner queue, later, while the ingestion lives and has not been shut down
  // (also when called from the queue itself: commands never run inside the task that made them).
  void post(std::function<void()> task);
  // Runs `read` on the owner queue after everything posted before, waits and answers its result;
  // inline from the owner queue.
  template <class Read>
  auto query(Read&& read) const {
    std::optional<decltype(read())> result;
    ownerQueue_.sync([&] { result.emplace(read()); });
    return std::move(*result);
  }
  // The request of a call. Queue only.
  virtual std::optional<net::HttpRequest> makeRequest(const std::shared_ptr<TLLogContainer>& container,
                                                      const std::optional<std::string>& eTag,
                                                      const std::optional<std::string>& authToken);
  // The send URL. Queue only.
  const std::string& currentSendURL() const;
  // The verbose "URL: ..." and "Headers: ..." lines of a request.
  void logRequest(const net::HttpRequest& request) const;

 private:
  // --- Queue only
  void sendOnQueue(const std::shared_ptr<TLIngestionCall>& call);
  void callEndedOnQueue(const std::shared_ptr<TLIngestionCall>& call, TLIngestionCallResult result);
  void pauseOnQueue();
  void resumeOnQueue();
  void setEnabledOnQueue(bool isEnabled, bool deleteDataOnDisabled);
  void networkStateChanged();
  void handleResponse(const std::shared_ptr<TLIngestionCall>& call, const net::HttpOutcome& outcome);
  net::HttpSession& session();
  void retireSession();
  void observeReachability();
  template <class Visit>
  void forEachDelegate(Visit&& visit);

  // Declared first so it goes last: the calls' retry timers post to it.
  mutable dispatch::SerialQueue ownerQueue_;
  std::string baseURL_;
  const std::string apiPath_;
  std::string queryText_;  // percent-encoded, without "?"
  std::string sendURL_;
  const std::map<std::string, std::string> httpHeaders_;
  std::map<std::string, std::shared_ptr<TLIngestionCall>> pendingCalls_;
  std::shared_ptr<net::HttpSession> session_;
  std::shared_ptr<TLReachability> reachability_;
  std::optional<TLReachability::ObserverId> reachabilityObserver_;
  const std::vector<std::uint32_t> callsRetryIntervals_;
  const std::size_t maxNumberOfConnections_;
  std::vector<std::weak_ptr<TLIngestionDelegate>> delegates_;
  bool enabled_ = true;
  bool paused_ = false;
  bool shutDown_ = false;  // shutdown() ran: posted work is dropped

  dispatch::Clock* clock_;
  dispatch::Queue* releaseQueue_;  // environment.retryQueue
  // Sessions retired by switching off whose release on releaseQueue_ has not ended yet:
  // shutdown() waits for them. Shared with the release tasks, which may outlive the ingestion.
  struct RetiredSessions {
    std::mutex lock;
    std::condition_variable released;
    std::size_t pending = 0;
  };
  const std::shared_ptr<RetiredSessions> retiredSessions_ = std::make_shared<RetiredSessions>();
  net::HttpSessionFactory sessionFactory_;
  dispatch::Duration requestTimeout_;
};

}  // namespace ml::beacon

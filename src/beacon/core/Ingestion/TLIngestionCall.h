#pragma once
// One batch on its way through an ingestion: what is sent, the caller's completion, and the
// retry state (count, schedule, pending retry timer).
//
// Retries: after the n-th failure worth retrying, the call is sent again after a random delay in
// [i/2, i) seconds, i being the n-th interval of the schedule (10, 300 and 1200 s by default: so
// after 5-9 s, 150-299 s and 600-1199 s). The timer runs on the ingestion's clock and fires on
// the ingestion's owner queue, so cancelling it there is exact.
//
// Not synchronised: the call belongs to the owner queue of its ingestion, which is the only
// thread that touches it (outside readers wait for that queue first, as pendingCall() does).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLIngestionProtocol.h"
#include "beacon/core/Ingestion/TLIngestionCallDelegate.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/net/HttpResponse.h"

namespace ml::beacon {

class TLLogContainer;

class TLIngestionCall : public std::enable_shared_from_this<TLIngestionCall> {
 public:
  // `timerQueue`, where the retry timer fires, must outlive the timer: the ingestion cancels it
  // before its queue goes.
  TLIngestionCall(std::vector<std::uint32_t> retryIntervals, dispatch::Clock& clock, dispatch::Queue& timerQueue);

  std::shared_ptr<TLLogContainer> data;
  std::string callId;
  std::optional<std::string> eTag;
  std::optional<std::string> authToken;
  TLIngestionCompletion completionHandler;
  bool submitted = false;  // a transfer is running for it
  std::weak_ptr<TLIngestionCallDelegate> delegate;  // set once, before the call is shared
  std::uint32_t retryCount = 0;

  const std::vector<std::uint32_t>& retryIntervals() const { return retryIntervals_; }
  bool hasReachedMaxRetries() const { return retryCount >= retryIntervals_.size(); }
  // Zero at or beyond the end of the schedule.
  dispatch::Duration delayForRetryCount(std::uint32_t count) const;
  bool isWaitingForRetry() const { return timer_.isValid(); }
  // Whether the completion has been called (it is called at most once).
  bool isFinished() const { return finished_; }

  void startRetryTimerWithStatusCode(int statusCode);
  void resetTimer();
  void resetRetry();

  // Handles the end of a transfer; see TLHttpIngestion for the rules. `networkUnavailable` says
  // whether the ingestion's reachability reports the network gone (then a lost connection waits
  // for the network's return instead of being retried on the schedule).
  void ingestionCallCompleted(const net::HttpOutcome& outcome, bool networkUnavailable);
  // Ends the call with `error` and no answer, without a result for the ingestion (the call was
  // dropped by the ingestion itself).
  void finishWithoutAnswer(const foundation::Error& error);

 private:
  void callCompletion(std::optional<int> statusCode, const std::vector<std::uint8_t>& body,
                      const std::optional<foundation::Error>& error);

  std::vector<std::uint32_t> retryIntervals_;
  dispatch::Clock& clock_;
  dispatch::Queue& timerQueue_;
  dispatch::Timer timer_;
  bool finished_ = false;
};

}  // namespace ml::beacon

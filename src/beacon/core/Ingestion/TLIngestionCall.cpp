#include "beacon/core/Ingestion/TLIngestionCall.h"

#include <chrono>
#include <mutex>
#include <random>

#include "beacon/core/Ingestion/TLErrors.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLLogger.h"

namespace ml::beacon {

namespace {

// A uniformly random whole number in [0, bound); 0 for a bound of 0.
std::uint32_t randomBelow(std::uint32_t bound) {
  if (bound == 0) return 0;
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard guard(mutex);
  return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(generator);
}

}  // namespace

TLIngestionCall::TLIngestionCall(std::vector<std::uint32_t> retryIntervals, dispatch::Clock& clock,
                                 dispatch::Queue& timerQueue)
    : retryIntervals_(std::move(retryIntervals)), clock_(clock), timerQueue_(timerQueue) {}

dispatch::Duration TLIngestionCall::delayForRetryCount(std::uint32_t count) const {
  if (count >= retryIntervals_.size()) return dispatch::Duration::zero();
  std::uint32_t half = retryIntervals_[count] / 2;
  return std::chrono::seconds(half + randomBelow(half));
}

void TLIngestionCall::startRetryTimerWithStatusCode(int statusCode) {
  resetTimer();
  dispatch::Duration delay = delayForRetryCount(retryCount);
  double milliseconds = std::chrono::duration<double, std::milli>(delay).count();
  TL_LOG_WARNING(kBeaconLogTag, "Call attempt #" << retryCount << " failed with status code: " << statusCode
                                                 << ", it will be retried in " << static_cast<long long>(milliseconds)
                                                 << " ms.");
  ++retryCount;
  std::weak_ptr<TLIngestionCall> weakSelf = weak_from_this();
  timer_ = dispatch::Timer::oneShot(clock_, timerQueue_, delay, [weakSelf] {
    auto self = weakSelf.lock();
    if (!self) return;
    // On the owner queue: the ingestion drops the timer and sends the call if it still may.
    if (auto owner = self->delegate.lock()) owner->sendCallAsync(self);
  });
}

void TLIngestionCall::resetTimer() { timer_.cancel(); }

void TLIngestionCall::resetRetry() {
  retryCount = 0;
  resetTimer();
}

void TLIngestionCall::ingestionCallCompleted(const net::HttpOutcome& outcome, bool networkUnavailable) {
  std::optional<int> statusCode;
  if (outcome.response) statusCode = outcome.response->statusCode;
  int status = statusCode.value_or(0);
  std::optional<foundation::Error> error = outcome.error;

  // 1. The network went away under the transfer: wait, without a result, for the ingestion to
  //    resume (which it does when the network returns), with a fresh retry schedule then.
  if (error && networkUnavailable &&
      (TLHttpUtil::isNoInternetConnectionError(*error) || TLHttpUtil::isSSLConnectionError(*error))) {
    resetRetry();
    TL_LOG_INFO(kBeaconLogTag, "Ingestion call failed with error: "
                                   << (TLHttpUtil::isNoInternetConnectionError(*error)
                                           ? "Internet connection is down."
                                           : "Could not establish secure connection."));
    return;
  }

  // 2. Worth another try while the schedule lasts. A transfer the ingestion cancelled itself is
  //    never retried: it was ended on purpose and is reported at once.
  //    A redirection is not followed (the endpoint is configured, not discovered) and proves
  //    nothing about the batch: it is retried like a server failure, and ends as recoverable, so
  //    the stored batch is kept for a later launch instead of being wiped as after a refusal.
  bool cancelled = error && TLHttpUtil::isCancelledError(*error);
  const bool recoverable = TLHttpUtil::isRecoverableError(status) || TLHttpUtil::isRedirection(status);
  if (!cancelled && recoverable && !hasReachedMaxRetries()) {
    startRetryTimerWithStatusCode(status);
    return;
  }

  // 3. An answer outside 2xx is an error of the client's domain. Every 2xx is an acceptance: a
  //    server answering 201, 202 or 204 has taken the batch, and calling it fatal would delete
  //    every stored log.
  if (!error && !TLHttpUtil::isSuccessStatusCode(status)) error = makeTLHttpError(status);

  // 4. Classify.
  TLIngestionCallResult result = TLIngestionCallResult::success;
  if (cancelled) {
    result = TLIngestionCallResult::success;
  } else if (recoverable && hasReachedMaxRetries()) {
    result = TLIngestionCallResult::recoverableError;
  } else if (error) {
    result = TLIngestionCallResult::fatalError;
  }

  // 5. Tell the caller, then the ingestion.
  callCompletion(statusCode, outcome.body, error);
  if (auto owner = delegate.lock()) owner->callCompletedWithResult(shared_from_this(), result);
}

void TLIngestionCall::finishWithoutAnswer(const foundation::Error& error) {
  resetTimer();
  callCompletion(std::nullopt, {}, error);
}

void TLIngestionCall::callCompletion(std::optional<int> statusCode, const std::vector<std::uint8_t>& body,
                                     const std::optional<foundation::Error>& error) {
  if (finished_) return;
  finished_ = true;
  resetTimer();
  if (completionHandler) completionHandler(callId, statusCode, body, error);
}

}  // namespace ml::beacon

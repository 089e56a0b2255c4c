#pragma once
// The channel unit: carries the logs of one group from the caller to the ingestion.
//
// enqueueItem completes a log and lets the delegates prepare it on the caller's thread, then
// moves it onto the group's serial queue, where it is filtered, stored and counted. The unit
// flushes at once when a full batch waits under the default 3-second interval, and otherwise
// after the flush interval; for intervals of 4 s and more the interval is measured from the
// oldest unsent log, whose date is kept in the settings store across restarts. A flush loads
// batches from the store, one validity window of the auth-token history at a time, sends each
// with that window's token, deletes the batch's rows on a 200 answer, and keeps at most
// pendingBatchesLimit batches in flight.
//
// Threads: all state except the delegate list belongs to the group's queue; members that change
// it post there or are called from there ("queue only"). The delegate list has a lock of its
// own and callbacks run on snapshots outside it. The flush timer fires on the queue and holds
// the unit weakly; ingestion answers are moved onto the queue.
//
// Ownership: made by the channel group through make(); shared with the services that send
// through it. The queue, store and ingestion are shared with the group and live as long as
// any unit. Delegates and pausing objects are held weakly.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLChannelEnvironment.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Channel/TLIngestionProtocol.h"
#include "beacon/core/Context/TLAuthTokenInfo.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Result.h"

namespace ml::dispatch {
class Queue;
}

namespace ml::beacon {

class TLAbstractLog;
class TLAuthTokenContextDelegate;
class TLLogContainer;
class TLStorage;

class TLChannelUnitDefault final : public TLChannelUnitProtocol,
                                   public TLIngestionDelegate,
                                   public std::enable_shared_from_this<TLChannelUnitDefault> {
 public:
  using Log = std::shared_ptr<TLAbstractLog>;
  using TokenWindows = std::vector<TLAuthTokenValidityInfo>;

  static constexpr std::string_view kStartTimerKey = "TLChannelStartTimer";
  // Intervals from this length on are measured from the persisted start date.
  static constexpr std::uint64_t kPersistedIntervalMinimum = 4;  // seconds
  static constexpr int kLogsDroppedErrorCode = 100;
  static constexpr std::string_view kLogsDroppedErrorDescription = "Canceled, connection paused with log deletion.";
  static constexpr int kLogsEvictedErrorCode = 102;
  static constexpr std::string_view kLogsEvictedErrorDescription =
      "Deleted from the full log storage to make room for a newer log.";

  // Only make() can name it; it lets make() construct through std::make_shared.
  class Passkey {
    friend class TLChannelUnitDefault;
    Passkey() = default;
  };

  // A unit over the given parts, registered as a delegate of the ingestion (and paused by it
  // when the ingestion is paused already). Without an ingestion nothing is ever stored or sent.
  static std::shared_ptr<TLChannelUnitDefault> make(std::shared_ptr<TLIngestionProtocol> ingestion,
                                                    std::shared_ptr<TLStorage> storage,
                                                    TLChannelUnitConfiguration configuration,
                                                    std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                                    TLChannelEnvironment environment);
  ~TLChannelUnitDefault() override;
  TLChannelUnitDefault(const TLChannelUnitDefault&) = delete;
  TLChannelUnitDefault& operator=(const TLChannelUnitDefault&) = delete;

  // --- TLChannelProtocol
  void addDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) override;
  void removeDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) override;
  // Posted to the queue.
  void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;
  void pauseWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) override;
  void resumeWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) override;

  // --- TLChannelUnitProtocol
  void enqueueItem(const Log& log, std::uint64_t flags) override;
  void pauseSendingLogsWithToken(const std::string& token) override;
  void resumeSendingLogsWithToken(const std::string& token) override;
  void checkPendingLogs() override;
  // Counts the logs an earlier run of the process left stored under the unit's group and decides
  // when to send them, as for logs saved now. Runs on the channel's queue only.
  void adoptStoredLogs();
  const TLChannelUnitConfiguration& configuration() const override { return configuration_; }
  dispatch::Queue& logsDispatchQueue() const override { return *queue_; }

  // Reports logs of the unit's group that the full store deleted to make room as failed (the
  // code-102 error). Queue only.
  void notifyLogsEvicted(const std::vector<Log>& logs);

  // Posted to the queue: fails and deletes every stored log of the group, the rows of batches in
  // flight included.
  void deleteAllLogsWithError(foundation::Error error);

  // --- TLIngestionDelegate (any thread)
  void ingestionDidPause(TLIngestionProtocol& ingestion) override;
  void ingestionDidResume(TLIngestionProtocol& ingestion) override;
  // Disables the unit and deletes its logs.
  void ingestionDidReceiveFatalError(TLIngestionProtocol& ingestion) override;

  // The listener the channel group registers with the auth-token context: a new token flushes.
  // Holds the unit weakly; removed from the context when the unit goes.
  std::shared_ptr<TLAuthTokenContextDelegate> authTokenContextDelegate() const;

  // The code-100 error of logs dropped before sending.
  static foundation::Error logsDroppedError();
  // The code-102 error of logs deleted from the full store.
  static foundation::Error logsEvictedError();
  // "TLChannelStartTimer:<group id>".
  static std::string startTimerKey(const std::string& groupId);

  // The queue-confined state, for tests and diagnostics. Queue only.
  struct State {
    bool enabled;
    bool paused;
    bool discardLogs;
    bool availableBatchFromStorage;
    bool pendingBatchQueueFull;
    std::uint64_t itemsCount;
    std::vector<std::string> pendingBatchIds;
    std::set<std::string> pausedTargetKeys;
    bool timerRunning;
  };
  State state() const;

 private:
  class AuthTokenListener;

 public:
  TLChannelUnitDefault(Passkey, std::shared_ptr<TLIngestionProtocol> ingestion, std::shared_ptr<TLStorage> storage,
                       TLChannelUnitConfiguration configuration, std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                       TLChannelEnvironment environment);

 private:
  std::shared_ptr<TLChannelUnitDefault> self() { return shared_from_this(); }
  std::vector<std::shared_ptr<TLChannelDelegate>> delegateSnapshot() const;
  template <class Call>
  void enumerateDelegates(Call call) const;

  // --- Queue only
  void enqueueOnQueue(const Log& log, const std::string& internalId, std::uint64_t flags);
  std::uint64_t resolveFlushInterval();
  void startTimer(std::uint64_t seconds);
  void resetTimer();
  void flushQueue();
  void flushQueueForTokenArray(const TokenWindows& tokens, std::size_t index);
  void loadBatch(const TokenWindows& tokens, std::size_t index);
  void flushNextBatchFromQueueForTokenArray(const TokenWindows& tokens, std::size_t index);
  void sendLogContainer(const std::shared_ptr<TLLogContainer>& container, const TokenWindows& tokens,
                        std::size_t index);
  void handleSendResult(const std::shared_ptr<TLLogContainer>& container, int statusCode,
                        const std::optional<foundation::Error>& error, const TokenWindows& tokens,
                        std::size_t index);
  void setEnabledSync(bool isEnabled, bool deleteDataOnDisabled);
  void pauseWithIdentifyingObjectSync(const TLIdentifyingObject& identifyingObject);
  void resumeWithIdentifyingObjectSync(const TLIdentifyingObject& identifyingObject);
  void deleteAllLogsWithErrorSync(const foundation::Error& error);
  void notifyFailureBeforeSendingForItem(const Log& log, const foundation::Error& error);
  void authTokenDidUpdate();

  const TLChannelUnitConfiguration configuration_;
  const std::shared_ptr<dispatch::Queue> queue_;  // declared before timer_: a timer posts to it
  const std::shared_ptr<TLIngestionProtocol> ingestion_;
  const std::shared_ptr<TLStorage> storage_;
  const TLChannelEnvironment environment_;
  const std::shared_ptr<AuthTokenListener> authTokenListener_;

  mutable std::mutex delegatesLock_;
  std::vector<std::weak_ptr<TLChannelDelegate>> delegates_;

  // Queue-confined.
  bool availableBatchFromStorage_ = false;
  bool pendingBatchQueueFull_ = false;
  bool enabled_ = true;
  bool paused_ = false;
  bool discardLogs_ = false;
  std::uint64_t itemsCount_ = 0;
  std::vector<std::string> pendingBatchIds_;
  std::vector<std::weak_ptr<const void>> pausedIdentifyingObjects_;
  std::set<std::string> pausedTargetKeys_;
  dispatch::Timer timer_;
};

}  // namespace ml::beacon

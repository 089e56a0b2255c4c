#pragma once
// The hub of the telemetry pipeline: the serial queue on which all channel and store work runs
// (labelled "<client prefix>.ChannelGroupQueue"), the one log store, the default ingestion and the
// channel units (one per service plus the core's). It is a delegate of each of its units and
// passes every callback on to its own delegates; it applies the client-wide switches (enable,
// pause, resume, log URL, app secret, storage cap) to the ingestion and to every unit.
//
// Threads: callable from any thread. The unit list and the delegate list are guarded by the
// group's lock; delegate fan-outs and unit creation callbacks run on snapshots outside it, so a
// delegate may add units or delegates from inside a callback. Store work runs on the queue.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelEnvironment.h"
#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLIngestionProtocol.h"

namespace ml::dispatch {
class Queue;
}

namespace ml::beacon {

class TLChannelUnitDefault;
class TLStorage;

class TLChannelGroupDefault final : public TLChannelGroupProtocol,
                                    public TLChannelDelegate,
                                    public std::enable_shared_from_this<TLChannelGroupDefault> {
 public:
  static constexpr std::string_view kQueueLabelSuffix = ".ChannelGroupQueue";

  // The queue's label: the client's reverse-domain prefix and ".ChannelGroupQueue".
  static std::string queueLabel();

  // The group's default ingestion and the two settings the group passes on to it (the concrete
  // ingestion's base URL and app secret). An empty ingestion makes units that store and send
  // nothing; empty setters ignore the settings.
  struct DefaultIngestion {
    std::shared_ptr<TLIngestionProtocol> ingestion;
    std::function<void(const std::string& baseUrl)> setBaseURL;
    std::function<void(const std::optional<std::string>& appSecret)> setAppSecret;
  };

  // Over the given ingestion, a new log store in the client folder, a new serial queue and the
  // shared contexts.
  static std::shared_ptr<TLChannelGroupDefault> make(DefaultIngestion ingestion);
  // Every part given (tests, benchmarks).
  static std::shared_ptr<TLChannelGroupDefault> make(DefaultIngestion ingestion,
                                                     std::shared_ptr<TLStorage> storage,
                                                     std::shared_ptr<dispatch::Queue> logsDispatchQueue,
                                                     TLChannelEnvironment environment);

  // --- TLChannelGroupProtocol
  std::shared_ptr<TLChannelUnitProtocol> addChannelUnitWithConfiguration(
      const TLChannelUnitConfiguration& configuration) override;
  std::shared_ptr<TLChannelUnitProtocol> addChannelUnitWithConfiguration(
      const TLChannelUnitConfiguration& configuration, const std::shared_ptr<TLIngestionProtocol>& ingestion) override;
  void setLogUrl(const std::string& logUrl) override;
  void setAppSecret(const std::optional<std::string>& appSecret) override;
  void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) override;
  std::shared_ptr<TLChannelUnitProtocol> channelUnitForGroupId(const std::string& groupId) override;

  // --- TLChannelProtocol
  void addDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) override;
  void removeDelegate(const std::shared_ptr<TLChannelDelegate>& delegate) override;
  // The ingestion first, then every unit in the order they were added, then the delegates.
  void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;
  // Switches the ingestion off (keeping its data) and pauses every unit with the object.
  void pauseWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) override;
  // Switches the ingestion on and resumes every unit with the object.
  void resumeWithIdentifyingObject(const TLIdentifyingObject& identifyingObject) override;

  // --- TLChannelDelegate: callbacks of the units, passed on to the group's delegates. The two
  // "prepare" callbacks come on the thread that enqueues a log; the others come from the units'
  // work on the group's queue: queue only.
  void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidPrepareLog(TLChannelProtocol& channel, const Log& log, const std::string& internalId,
                            std::uint64_t flags) override;
  void channelDidCompleteEnqueueingLog(TLChannelProtocol& channel, const Log& log,
                                       const std::string& internalId) override;
  void channelWillSendLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                const std::optional<foundation::Error>& error) override;
  void channelDidSetEnabled(TLChannelProtocol& channel, bool isEnabled, bool deleteDataOnDisabled) override;
  void channelDidPause(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) override;
  void channelDidResume(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) override;
  // True as soon as one delegate answers true; later delegates are not asked.
  bool channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) override;

  const std::shared_ptr<TLIngestionProtocol>& ingestion() const { return ingestion_.ingestion; }
  const std::shared_ptr<TLStorage>& storage() const { return storage_; }
  dispatch::Queue& logsDispatchQueue() const { return *queue_; }
  // The units, in the order they were added.
  std::vector<std::shared_ptr<TLChannelUnitDefault>> channels() const;

  // Only make() can name it; it lets make() construct through std::make_shared.
  class Passkey {
    friend class TLChannelGroupDefault;
    Passkey() = default;
  };
  TLChannelGroupDefault(Passkey, DefaultIngestion ingestion, std::shared_ptr<TLStorage> storage,
                        std::shared_ptr<dispatch::Queue> logsDispatchQueue, TLChannelEnvironment environment);

 private:
  std::vector<std::shared_ptr<TLChannelDelegate>> delegateSnapshot() const;
  template <class Call>
  void enumerateDelegates(Call call) const;

  const DefaultIngestion ingestion_;
  const std::shared_ptr<TLStorage> storage_;
  const std::shared_ptr<dispatch::Queue> queue_;
  const TLChannelEnvironment environment_;

  mutable std::mutex lock_;  // guards the two lists
  std::vector<std::weak_ptr<TLChannelDelegate>> delegates_;
  std::vector<std::shared_ptr<TLChannelUnitDefault>> channels_;
};

}  // namespace ml::beacon

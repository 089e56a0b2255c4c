#pragma once
// Routes logs that carry transmission target tokens to the Common Collector instead of the
// client's own endpoint. Added to the channel group before any unit, it gives every unit a
// companion unit (group id + "/one") that sends through one shared TLCommonCollectorIngestion;
// converts each log with target tokens into common-schema logs (one per token) and enqueues them
// on the companion; numbers the common-schema logs per instrumentation key (an epoch per run,
// sequence numbers 1, 2, 3, ..., the install id); keeps such logs out of the ordinary units and
// common-schema logs out of every unit that is not a companion; and mirrors each unit's switch,
// pause and resume onto its companion. Disabling the group with deletion resets the numbering.
//
// Threads: the prepare callbacks run on the enqueuing thread, the filter on the group's queue,
// the switches where they were flipped. The maps are guarded by one lock of the delegate; units
// are called outside it.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/CommonSchema/TLCSEpochAndSeq.h"
#include "beacon/core/Ingestion/TLCommonCollectorIngestion.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

class TLCommonSchemaLog;

class TLCommonCollectorChannelDelegate : public TLChannelDelegate {
 public:
  static constexpr std::string_view kCommonCollectorGroupIdSuffix = "/one";

  // The Common Collector at `baseUrl`, or at kTLDefaultCommonCollectorUrl when there is none.
  // The environment and the reachability go to the ingestion (tests pass theirs).
  TLCommonCollectorChannelDelegate(const foundation::Uuid& installId, const std::optional<std::string>& baseUrl,
                                   TLHttpIngestionEnvironment environment = {},
                                   std::shared_ptr<TLReachability> reachability = nullptr);

  // The base URL of the Common Collector ingestion.
  void setLogUrl(const std::string& logUrl);

  const std::shared_ptr<TLCommonCollectorIngestion>& commonCollectorIngestion() const { return ingestion_; }
  const std::string& baseUrl() const { return baseUrl_; }
  // The companion of the unit with that group id, or none.
  std::shared_ptr<TLChannelUnitProtocol> commonCollectorChannel(const std::string& groupId) const;

  // --- TLChannelDelegate
  void channelGroupDidAddChannelUnit(TLChannelGroupProtocol& channelGroup,
                                     const std::shared_ptr<TLChannelUnitProtocol>& channelUnit) override;
  void channelPrepareLog(TLChannelProtocol& channel, const Log& log) override;
  void channelDidPrepareLog(TLChannelProtocol& channel, const Log& log, const std::string& internalId,
                            std::uint64_t flags) override;
  bool channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) override;
  void channelDidSetEnabled(TLChannelProtocol& channel, bool isEnabled, bool deleteDataOnDisabled) override;
  void channelDidPause(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) override;
  void channelDidResume(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) override;

  // The group id ends with "/one".
  static bool isCommonCollectorGroup(std::string_view groupId);
  // The log carries at least one target token and is not itself a common-schema log.
  static bool shouldSendLogToCommonCollector(const TLAbstractLog& log);
  static bool validateLog(const TLCommonSchemaLog& log);
  // 4 to 100 characters: an ASCII letter or digit, then letters, digits, "_" and "." (a "."
  // neither last nor followed by another "."). A refusal is logged at error level.
  static bool validateLogName(const std::optional<std::string>& name);
  static constexpr std::string_view kLogNamePattern = "^[a-zA-Z0-9]((\\.(?!(\\.|$)))|[_a-zA-Z0-9]){3,99}$";

 private:
  std::shared_ptr<TLChannelUnitProtocol> companionOf(TLChannelProtocol& channel) const;

  const foundation::Uuid installId_;
  const std::string baseUrl_;
  const std::shared_ptr<TLCommonCollectorIngestion> ingestion_;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<TLChannelUnitProtocol>> commonCollectorChannels_;
  std::map<std::string, TLCSEpochAndSeq> epochsAndSeqsByIKey_;
};

}  // namespace ml::beacon

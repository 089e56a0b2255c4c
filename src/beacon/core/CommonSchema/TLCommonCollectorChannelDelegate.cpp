#include "beacon/core/CommonSchema/TLCommonCollectorChannelDelegate.h"

#include "beacon/core/Channel/TLChannelGroupProtocol.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/TLLogger.h"

namespace ml::beacon {

namespace {

bool isAlphanumeric(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

const TLChannelUnitProtocol* asUnit(const TLChannelProtocol& channel) {
  return dynamic_cast<const TLChannelUnitProtocol*>(&channel);
}

}  // namespace

TLCommonCollectorChannelDelegate::TLCommonCollectorChannelDelegate(const foundation::Uuid& installId,
                                                                   const std::optional<std::string>& baseUrl,
                                                                   TLHttpIngestionEnvironment environment,
                                                                   std::shared_ptr<TLReachability> reachability)
    : installId_(installId),
      baseUrl_(baseUrl.value_or(std::string(kTLDefaultCommonCollectorUrl))),
      ingestion_(TLCommonCollectorIngestion::create(baseUrl_, std::move(environment), std::move(reachability))) {}

void TLCommonCollectorChannelDelegate::setLogUrl(const std::string& logUrl) { ingestion_->setBaseURL(logUrl); }

std::shared_ptr<TLChannelUnitProtocol> TLCommonCollectorChannelDelegate::commonCollectorChannel(
    const std::string& groupId) const {
  std::lock_guard guard(mutex_);
  auto it = commonCollectorChannels_.find(groupId);
  return it == commonCollectorChannels_.end() ? nullptr : it->second;
}

std::shared_ptr<TLChannelUnitProtocol> TLCommonCollectorChannelDelegate::companionOf(TLChannelProtocol& channel) const {
  const auto* unit = asUnit(channel);
  if (!unit || isCommonCollectorGroup(unit->configuration().groupId)) return nullptr;
  return commonCollectorChannel(unit->configuration().groupId);
}

// ===== Units

void TLCommonCollectorChannelDelegate::channelGroupDidAddChannelUnit(
    TLChannelGroupProtocol& channelGroup, const std::shared_ptr<TLChannelUnitProtocol>& channelUnit) {
  if (!channelUnit) return;
  const TLChannelUnitConfiguration& configuration = channelUnit->configuration();
  // Adding the companion calls back here with the companion, which has no companion of its own.
  if (isCommonCollectorGroup(configuration.groupId)) return;
  auto companion = channelGroup.addChannelUnitWithConfiguration(
      TLChannelUnitConfiguration::defaultConfiguration(configuration.groupId + std::string(kCommonCollectorGroupIdSuffix),
                                                       configuration.flushInterval),
      ingestion_);
  std::lock_guard guard(mutex_);
  commonCollectorChannels_[configuration.groupId] = std::move(companion);
}

// ===== Logs

void TLCommonCollectorChannelDelegate::channelPrepareLog(TLChannelProtocol& channel, const Log& log) {
  auto* csLog = dynamic_cast<TLCommonSchemaLog*>(log.get());
  if (!csLog) return;
  // Numbered once, by the companion that stores it (an ordinary unit only passes a common-schema
  // log on), so the numbers of one key have no gaps. A log without a key has no numbering.
  const auto* unit = asUnit(channel);
  if (!unit || !isCommonCollectorGroup(unit->configuration().groupId) || !csLog->iKey) return;

  std::string epoch;
  std::uint64_t seq = 0;
  {
    std::lock_guard guard(mutex_);
    auto it = epochsAndSeqsByIKey_.find(*csLog->iKey);
    if (it == epochsAndSeqsByIKey_.end()) {
      it = epochsAndSeqsByIKey_.emplace(*csLog->iKey, TLCSEpochAndSeq(foundation::Uuid::random().string())).first;
    }
    seq = ++it->second.seq;
    epoch = it->second.epoch;
  }
  if (!csLog->ext) csLog->ext = std::make_shared<TLCSExtensions>();
  if (!csLog->ext->sdkExt) csLog->ext->sdkExt = std::make_shared<TLSDKExtension>();
  csLog->ext->sdkExt->epoch = epoch;
  csLog->ext->sdkExt->seq = static_cast<std::int64_t>(seq);
  csLog->ext->sdkExt->installId = installId_;
}

void TLCommonCollectorChannelDelegate::channelDidPrepareLog(TLChannelProtocol& channel, const Log& log,
                                                            const std::string&, std::uint64_t flags) {
  if (!log) return;
  auto companion = companionOf(channel);
  if (dynamic_cast<const TLCommonSchemaLog*>(log.get())) {
    // A common-schema log given to an ordinary unit goes to its companion.
    if (companion) companion->enqueueItem(log, flags);
    return;
  }
  if (!companion || !shouldSendLogToCommonCollector(*log)) return;
  auto converted = TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(*log, flags);
  if (!converted) return;
  for (const auto& csLog : *converted) companion->enqueueItem(csLog, flags);
}

bool TLCommonCollectorChannelDelegate::channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) {
  if (!log) return false;
  if (const auto* csLog = dynamic_cast<const TLCommonSchemaLog*>(log.get())) {
    if (!isCommonCollectorGroup(channelUnit.configuration().groupId)) return true;
    return !validateLog(*csLog);
  }
  auto tokens = log->transmissionTargetTokens();
  return tokens && !tokens->empty();
}

// ===== Switches

void TLCommonCollectorChannelDelegate::channelDidSetEnabled(TLChannelProtocol& channel, bool isEnabled,
                                                            bool deleteDataOnDisabled) {
  if (asUnit(channel)) {
    if (auto companion = companionOf(channel)) companion->setEnabled(isEnabled, deleteDataOnDisabled);
    return;
  }
  if (dynamic_cast<TLChannelGroupProtocol*>(&channel) && !isEnabled && deleteDataOnDisabled) {
    std::lock_guard guard(mutex_);
    epochsAndSeqsByIKey_.clear();
  }
}

void TLCommonCollectorChannelDelegate::channelDidPause(TLChannelProtocol& channel,
                                                       const TLIdentifyingObject& identifyingObject) {
  if (auto companion = companionOf(channel)) companion->pauseWithIdentifyingObject(identifyingObject);
}

void TLCommonCollectorChannelDelegate::channelDidResume(TLChannelProtocol& channel,
                                                        const TLIdentifyingObject& identifyingObject) {
  if (auto companion = companionOf(channel)) companion->resumeWithIdentifyingObject(identifyingObject);
}

// ===== Rules

bool TLCommonCollectorChannelDelegate::isCommonCollectorGroup(std::string_view groupId) {
  return groupId.size() >= kCommonCollectorGroupIdSuffix.size() &&
         groupId.substr(groupId.size() - kCommonCollectorGroupIdSuffix.size()) == kCommonCollectorGroupIdSuffix;
}

bool TLCommonCollectorChannelDelegate::shouldSendLogToCommonCollector(const TLAbstractLog& log) {
  if (dynamic_cast<const TLCommonSchemaLog*>(&log)) return false;
  auto tokens = log.transmissionTargetTokens();
  return tokens && !tokens->empty();
}

bool TLCommonCollectorChannelDelegate::validateLog(const TLCommonSchemaLog& log) { return validateLogName(log.name); }

bool TLCommonCollectorChannelDelegate::validateLogName(const std::optional<std::string>& name) {
  static constexpr std::string_view kFailed = "Log validation failed.";
  if (!name || name->empty()) {
    TL_LOG_ERROR(kBeaconLogTag, kFailed << " Name must not be nil or empty.");
    return false;
  }
  // The pattern, checked by hand: a letter or digit, then 3 to 99 characters that are letters,
  // digits, "_" or a "." that is neither followed by "." nor last.
  const std::string& text = *name;
  bool valid = text.size() >= 4 && text.size() <= 100 && isAlphanumeric(text[0]);
  for (std::size_t i = 1; valid && i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      valid = i + 1 < text.size() && text[i + 1] != '.';
    } else {
      valid = isAlphanumeric(c) || c == '_';
    }
  }
  if (!valid) {
    TL_LOG_ERROR(kBeaconLogTag, kFailed << " Name must match '" << kLogNamePattern << "' but was '" << text << "'");
  }
  return valid;
}

}  // namespace ml::beacon

#pragma once
// The channel group: the one log store, the default ingestion and the channel units of every
// service, all working on one serial queue. Implemented by TLChannelGroupDefault.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/Channel/TLChannelProtocol.h"
#include "beacon/core/Channel/TLChannelUnitConfiguration.h"

namespace ml::beacon {

class TLChannelUnitProtocol;
class TLIngestionProtocol;

class TLChannelGroupProtocol : public TLChannelProtocol {
 public:
  // Adds a unit over the group's store and queue and the group's ingestion (or the given one),
  // and tells the group's delegates. Two units may share a group id.
  virtual std::shared_ptr<TLChannelUnitProtocol> addChannelUnitWithConfiguration(
      const TLChannelUnitConfiguration& configuration) = 0;
  virtual std::shared_ptr<TLChannelUnitProtocol> addChannelUnitWithConfiguration(
      const TLChannelUnitConfiguration& configuration, const std::shared_ptr<TLIngestionProtocol>& ingestion) = 0;
  // The base URL of the default ingestion.
  virtual void setLogUrl(const std::string& logUrl) = 0;
  virtual void setAppSecret(const std::optional<std::string>& appSecret) = 0;
  // Caps the log store; the completion hears whether the cap was applied (on the group's queue).
  virtual void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler) = 0;
  // The first unit added with that group id, or none.
  virtual std::shared_ptr<TLChannelUnitProtocol> channelUnitForGroupId(const std::string& groupId) = 0;
};

}  // namespace ml::beacon

#pragma once
// Listener of a channel: hears each step of a log's way through a channel unit, and the switches
// of units and of the channel group. Every callback has an empty default, so a delegate
// implements only what it needs (an empty callback counts as not implemented).
//
// Threads: channelPrepareLog and channelDidPrepareLog run on the thread that enqueued the log;
// every other callback of a unit runs on the channel group's queue. The group's own switches are
// reported on the thread that flipped them. Callbacks run outside the channel's locks, so a
// delegate may add or remove delegates from inside one.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/Channel/TLChannelProtocol.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLAbstractLog;
class TLChannelGroupProtocol;
class TLChannelUnitProtocol;

class TLChannelDelegate {
 public:
  using Log = std::shared_ptr<TLAbstractLog>;

  virtual ~TLChannelDelegate() = default;

  // A unit was added to the group.
  virtual void channelGroupDidAddChannelUnit(TLChannelGroupProtocol& channelGroup,
                                             const std::shared_ptr<TLChannelUnitProtocol>& channelUnit) {
    (void)channelGroup;
    (void)channelUnit;
  }
  // The log is about to be stored; the delegate may complete it (the session id, for example).
  virtual void channelPrepareLog(TLChannelProtocol& channel, const Log& log) {
    (void)channel;
    (void)log;
  }
  // The log was prepared and named by its internal id (a random UUID string).
  virtual void channelDidPrepareLog(TLChannelProtocol& channel, const Log& log, const std::string& internalId,
                                    std::uint64_t flags) {
    (void)channel;
    (void)log;
    (void)internalId;
    (void)flags;
  }
  // The log was filtered out, discarded, refused or stored: its enqueueing is over.
  virtual void channelDidCompleteEnqueueingLog(TLChannelProtocol& channel, const Log& log,
                                               const std::string& internalId) {
    (void)channel;
    (void)log;
    (void)internalId;
  }
  virtual void channelWillSendLog(TLChannelProtocol& channel, const Log& log) {
    (void)channel;
    (void)log;
  }
  virtual void channelDidSucceedSendingLog(TLChannelProtocol& channel, const Log& log) {
    (void)channel;
    (void)log;
  }
  // The log was not delivered: its batch was answered with an error, or the log was dropped
  // before sending (then channelWillSendLog came first).
  virtual void channelDidFailSendingLog(TLChannelProtocol& channel, const Log& log,
                                        const std::optional<foundation::Error>& error) {
    (void)channel;
    (void)log;
    (void)error;
  }
  virtual void channelDidSetEnabled(TLChannelProtocol& channel, bool isEnabled, bool deleteDataOnDisabled) {
    (void)channel;
    (void)isEnabled;
    (void)deleteDataOnDisabled;
  }
  virtual void channelDidPause(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) {
    (void)channel;
    (void)identifyingObject;
  }
  virtual void channelDidResume(TLChannelProtocol& channel, const TLIdentifyingObject& identifyingObject) {
    (void)channel;
    (void)identifyingObject;
  }
  // True drops the log before it is stored.
  virtual bool channelUnitShouldFilterLog(TLChannelUnitProtocol& channelUnit, const Log& log) {
    (void)channelUnit;
    (void)log;
    return false;
  }
};

}  // namespace ml::beacon

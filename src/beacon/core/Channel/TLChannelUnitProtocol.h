#pragma once
// A channel unit: carries the logs of one group from the caller, through the log store, to the
// ingestion. Implemented by TLChannelUnitDefault.
#include <cstdint>
#include <memory>
#include <string>

#include "beacon/core/Channel/TLChannelProtocol.h"
#include "beacon/core/Channel/TLChannelUnitConfiguration.h"

namespace ml::dispatch {
class Queue;
}

namespace ml::beacon {

class TLAbstractLog;

// Flags enqueued with a log: 64 bits, passed whole to every delegate. The log store keeps the
// low byte as the row's priority.
inline constexpr std::uint32_t kTLFlagsNormal = 1;    // normal persistence
inline constexpr std::uint32_t kTLFlagsCritical = 2;  // kept longest when the store is full

class TLChannelUnitProtocol : public TLChannelProtocol {
 public:
  // Completes the log (time stamp, device), lets the delegates prepare it and hands it to the
  // channel's queue, where it is filtered, stored and scheduled for sending. Returns at once; an
  // absent or invalid log is refused with a warning. Callable from any thread.
  virtual void enqueueItem(const std::shared_ptr<TLAbstractLog>& log, std::uint64_t flags) = 0;
  // Stops (resumes) loading stored logs whose target key is the token's for sending.
  virtual void pauseSendingLogsWithToken(const std::string& token) = 0;
  virtual void resumeSendingLogsWithToken(const std::string& token) = 0;
  // Decides whether to flush now or later. Runs on the channel's queue only.
  virtual void checkPendingLogs() = 0;
  virtual const TLChannelUnitConfiguration& configuration() const = 0;
  // The serial queue all work of the unit runs on (the channel group's).
  virtual dispatch::Queue& logsDispatchQueue() const = 0;
};

}  // namespace ml::beacon

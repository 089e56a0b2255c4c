#pragma once
// The settings of one channel unit: the group whose logs it carries and how it batches them.
// A value; immutable once handed to a unit.
#include <cstdint>
#include <string>

namespace ml::beacon {

struct TLChannelUnitConfiguration {
  static constexpr std::int64_t kDefaultPriority = 1;
  static constexpr std::uint64_t kDefaultBatchSizeLimit = 50;
  static constexpr std::uint64_t kDefaultPendingBatchesLimit = 3;
  static constexpr std::uint64_t kDefaultFlushInterval = 3;  // seconds

  // Names the group; also the key of its stored rows and of its persisted flush start.
  std::string groupId;
  std::int64_t priority = kDefaultPriority;
  // Most logs in one batch.
  std::uint64_t batchSizeLimit = kDefaultBatchSizeLimit;
  // Most batches sent and not yet answered.
  std::uint64_t pendingBatchesLimit = kDefaultPendingBatchesLimit;
  // Seconds between flushes.
  std::uint64_t flushInterval = kDefaultFlushInterval;

  TLChannelUnitConfiguration(std::string groupId, std::int64_t priority, std::uint64_t flushInterval,
                             std::uint64_t batchSizeLimit, std::uint64_t pendingBatchesLimit)
      : groupId(std::move(groupId)),
        priority(priority),
        batchSizeLimit(batchSizeLimit),
        pendingBatchesLimit(pendingBatchesLimit),
        flushInterval(flushInterval) {}

  // Priority 1, batches of 50, 3 batches in flight, and the given flush interval (3 s by default).
  static TLChannelUnitConfiguration defaultConfiguration(std::string groupId,
                                                         std::uint64_t flushInterval = kDefaultFlushInterval) {
    return {std::move(groupId), kDefaultPriority, flushInterval, kDefaultBatchSizeLimit, kDefaultPendingBatchesLimit};
  }

  friend bool operator==(const TLChannelUnitConfiguration&, const TLChannelUnitConfiguration&) = default;
};

}  // namespace ml::beacon

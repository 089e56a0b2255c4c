#pragma once
// The persistent queue of telemetry logs, as the channel units and the channel group use it.
// Implemented by TLLogDBStorage. Calls come from the channel group's serial queue, which
// serialises every use (implementations need not be thread-safe).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ml::beacon {

class TLAbstractLog;

class TLStorage {
 public:
  using Date = std::chrono::system_clock::time_point;
  using Logs = std::vector<std::shared_ptr<TLAbstractLog>>;
  // The logs of a loaded batch and its id (nothing when no log was loaded).
  using LoadCompletion = std::function<void(const Logs& logs, const std::optional<std::string>& batchId)>;

  // Logs of one group deleted from a full store to make room for a newer log.
  using EvictionHandler = std::function<void(const std::string& groupId, const Logs& logs)>;

  virtual ~TLStorage() = default;

  // Stores the log under the group; the low byte of `flags` is its priority. False when there is
  // no log, it cannot be encoded, or there is no room for it.
  virtual bool saveLog(const std::shared_ptr<TLAbstractLog>& log, const std::string& groupId, std::uint64_t flags) = 0;
  virtual std::uint64_t countLogs() = 0;
  // Logs stored under the group. A store that cannot tell answers its whole count.
  virtual std::uint64_t countLogsWithGroupId(const std::string& groupId) {
    (void)groupId;
    return countLogs();
  }
  // Deletes every log of the group (and forgets its batches); answers the logs that were stored.
  virtual Logs deleteLogsWithGroupId(const std::string& groupId) = 0;
  // Deletes the logs of a loaded batch and forgets it; an unknown batch is ignored. A batch whose
  // logs cannot be deleted stays loaded, so they are not loaded again in this process.
  virtual void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) = 0;
  // Loads at most `limit` logs of the group that are not in a loaded batch, highest priority
  // first and oldest first within a priority, skipping logs whose target key is excluded and
  // keeping to [afterDate, beforeDate). Answers whether more logs matched than the limit.
  virtual bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                                   const std::optional<std::vector<std::string>>& excludedTargetKeys,
                                   const std::optional<Date>& afterDate, const std::optional<Date>& beforeDate,
                                   const LoadCompletion& completionHandler) = 0;
  // Logs whose timestamp is at or before `date` (millisecond precision).
  virtual std::uint64_t countLogsBeforeDate(Date date) = 0;
  virtual void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) = 0;
  // Called from saveLog, once per group, with the logs it deleted to make room (the logs no
  // longer decode are not among them). A store that never evicts ignores it.
  virtual void setEvictionHandler(EvictionHandler handler) { (void)handler; }
  // Whether the last load gave nothing because another process is sending from the same store;
  // loading again later may find it done.
  virtual bool isSendingElsewhere() const { return false; }
};

}  // namespace ml::beacon

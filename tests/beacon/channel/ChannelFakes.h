#pragma once
// Peers of the channel code for tests, shared with the service suite: a queue the test drains by
// hand, an ingestion that records its calls and answers when told, a delegate that records every
// callback, and a store wrapper that records what the unit asks of the real log store.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "beacon/core/Channel/TLChannelDelegate.h"
#include "beacon/core/Channel/TLChannelGroupDefault.h"
#include "beacon/core/Channel/TLChannelUnitProtocol.h"
#include "beacon/core/Channel/TLIngestionProtocol.h"
#include "beacon/core/Storage/TLStorage.h"
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogWithProperties.h"
#include "platform/dispatch/Queue.h"

namespace ml::beacon::test {

// Tasks wait until the test drains them, on the test's thread. That thread (the one that made the
// queue) is the queue's only worker, so it counts as on the queue, inside a drain or not.
class ManualQueue final : public dispatch::Queue {
 public:
  bool isCurrent() const override { return std::this_thread::get_id() == worker_; }
  void async(std::function<void()> task) override {
    std::lock_guard guard(lock_);
    tasks_.push_back(std::move(task));
  }
  // Runs tasks (those posted meanwhile included) until none is left; answers how many ran.
  std::size_t drain() {
    std::size_t ran = 0;
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard guard(lock_);
        if (tasks_.empty()) return ran;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      ++ran;
    }
  }
  std::size_t pending() const {
    std::lock_guard guard(lock_);
    return tasks_.size();
  }

 private:
  const std::thread::id worker_ = std::this_thread::get_id();
  mutable std::mutex lock_;
  std::deque<std::function<void()>> tasks_;
};

class FakeIngestion final : public TLIngestionProtocol, public std::enable_shared_from_this<FakeIngestion> {
 public:
  struct Call {
    std::shared_ptr<TLLogContainer> container;
    std::optional<std::string> authToken;
    TLIngestionCompletion completion;
  };

  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& authToken,
                 TLIngestionCompletion completionHandler) override {
    calls.push_back({container, authToken, std::move(completionHandler)});
  }
  void addDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) override { delegates.push_back(delegate); }
  void removeDelegate(const std::shared_ptr<TLIngestionDelegate>&) override {}
  void pause() override { paused = true; }
  void resume() override { paused = false; }
  bool isPaused() const override { return paused; }
  bool isReadyToSend() const override { return readyToSend; }
  void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override {
    enabledCalls.emplace_back(isEnabled, deleteDataOnDisabled);
  }
  void setAppSecret(const std::optional<std::string>& secret) { appSecret = secret; }
  void setBaseURL(const std::string& url) { baseUrls.push_back(url); }
  // The ingestion with its two settings, as a channel group takes it.
  static TLChannelGroupDefault::DefaultIngestion asDefault(const std::shared_ptr<FakeIngestion>& fake) {
    return {fake, [fake](const std::string& url) { fake->setBaseURL(url); },
            [fake](const std::optional<std::string>& secret) { fake->setAppSecret(secret); }};
  }

  // Answers call `index` with `statusCode` (0: no response), and an HTTP error unless it is 200.
  void answer(std::size_t index, int statusCode) {
    std::optional<int> response;
    if (statusCode != 0) response = statusCode;
    std::optional<foundation::Error> error;
    if (statusCode != 200) error = foundation::Error::make("test", 101, "An HTTP error occured.");
    const Call& call = calls.at(index);
    call.completion(call.container->batchId, response, {}, error);
  }
  template <class Call>
  void tellDelegates(Call call) {
    for (const auto& weak : delegates) {
      if (auto delegate = weak.lock()) call(*delegate);
    }
  }
  std::size_t logsSent() const {
    std::size_t n = 0;
    for (const auto& call : calls) n += call.container->logs.size();
    return n;
  }

  std::vector<Call> calls;
  std::vector<std::weak_ptr<TLIngestionDelegate>> delegates;
  std::vector<std::pair<bool, bool>> enabledCalls;
  std::optional<std::string> appSecret;
  std::vector<std::string> baseUrls;
  bool readyToSend = true;
  bool paused = false;
};

// Records each callback as "<callback> <log name>" (the log's "name" property), or the bare
// callback name for switches.
class RecordingDelegate : public TLChannelDelegate {
 public:
  static std::string nameOf(const Log& log) {
    auto* withProperties = dynamic_cast<TLLogWithProperties*>(log.get());
    if (!withProperties || !withProperties->properties) return "?";
    auto found = withProperties->properties->find("name");
    return found == withProperties->properties->end() ? "?" : found->second;
  }

  void channelGroupDidAddChannelUnit(TLChannelGroupProtocol&, const std::shared_ptr<TLChannelUnitProtocol>& unit) override {
    record("didAddChannelUnit " + unit->configuration().groupId);
  }
  void channelPrepareLog(TLChannelProtocol&, const Log& log) override { record("prepare " + nameOf(log)); }
  void channelDidPrepareLog(TLChannelProtocol&, const Log& log, const std::string& internalId,
                            std::uint64_t flags) override {
    record("didPrepare " + nameOf(log) + " flags=" + std::to_string(flags));
    std::lock_guard guard(lock_);
    internalIds.push_back(internalId);
  }
  void channelDidCompleteEnqueueingLog(TLChannelProtocol&, const Log& log, const std::string& internalId) override {
    record("didComplete " + nameOf(log));
    std::lock_guard guard(lock_);
    completedIds.push_back(internalId);
  }
  void channelWillSendLog(TLChannelProtocol&, const Log& log) override { record("willSend " + nameOf(log)); }
  void channelDidSucceedSendingLog(TLChannelProtocol&, const Log& log) override { record("didSucceed " + nameOf(log)); }
  void channelDidFailSendingLog(TLChannelProtocol&, const Log& log,
                                const std::optional<foundation::Error>& error) override {
    record("didFail " + nameOf(log) + " code=" + (error ? std::to_string(error->code) : "none"));
    std::lock_guard guard(lock_);
    if (error) errors.push_back(*error);
  }
  void channelDidSetEnabled(TLChannelProtocol&, bool isEnabled, bool deleteData) override {
    record(std::string("didSetEnabled ") + (isEnabled ? "1" : "0") + (deleteData ? "1" : "0"));
  }
  void channelDidPause(TLChannelProtocol&, const TLIdentifyingObject&) override { record("didPause"); }
  void channelDidResume(TLChannelProtocol&, const TLIdentifyingObject&) override { record("didResume"); }
  bool channelUnitShouldFilterLog(TLChannelUnitProtocol&, const Log& log) override {
    record("shouldFilter " + nameOf(log));
    return filter && filter(log);
  }

  std::vector<std::string> events() const {
    std::lock_guard guard(lock_);
    return events_;
  }
  // Events whose text starts with `prefix`.
  std::vector<std::string> eventsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& event : events()) {
      if (event.rfind(prefix, 0) == 0) found.push_back(event);
    }
    return found;
  }
  void clear() {
    std::lock_guard guard(lock_);
    events_.clear();
  }

  std::function<bool(const Log&)> filter;
  std::vector<std::string> internalIds;
  std::vector<std::string> completedIds;
  std::vector<foundation::Error> errors;

 private:
  void record(std::string event) {
    std::lock_guard guard(lock_);
    events_.push_back(std::move(event));
  }
  mutable std::mutex lock_;
  std::vector<std::string> events_;
};

// Passes every call to a real store, recording the load arguments and optionally refusing saves.
class RecordingStorage final : public TLStorage {
 public:
  explicit RecordingStorage(std::shared_ptr<TLStorage> store) : store_(std::move(store)) {}

  struct Load {
    std::optional<std::vector<std::string>> excludedTargetKeys;
    std::optional<Date> afterDate;
    std::optional<Date> beforeDate;
  };

  bool saveLog(const std::shared_ptr<TLAbstractLog>& log, const std::string& groupId, std::uint64_t flags) override {
    if (refuseSaves) return false;
    return store_->saveLog(log, groupId, flags);
  }
  std::uint64_t countLogs() override { return store_->countLogs(); }
  Logs deleteLogsWithGroupId(const std::string& groupId) override { return store_->deleteLogsWithGroupId(groupId); }
  void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override {
    store_->deleteLogsWithBatchId(batchId, groupId);
  }
  bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
                           const std::optional<std::vector<std::string>>& excludedTargetKeys,
                           const std::optional<Date>& afterDate, const std::optional<Date>& beforeDate,
                           const LoadCompletion& completionHandler) override {
    loads.push_back({excludedTargetKeys, afterDate, beforeDate});
    return store_->loadLogsWithGroupId(groupId, limit, excludedTargetKeys, afterDate, beforeDate, completionHandler);
  }
  std::uint64_t countLogsBeforeDate(Date date) override { return store_->countLogsBeforeDate(date); }
  void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) override {
    maxSizes.push_back(sizeInBytes);
    store_->setMaxStorageSize(sizeInBytes, completionHandler);
  }
  void setEvictionHandler(EvictionHandler handler) override { store_->setEvictionHandler(std::move(handler)); }
  bool isSendingElsewhere() const override { return store_->isSendingElsewhere(); }

  std::vector<Load> loads;
  std::vector<std::int64_t> maxSizes;
  bool refuseSaves = false;

 private:
  std::shared_ptr<TLStorage> store_;
};

// An event log named by its "name" property.
inline std::shared_ptr<TLLogWithProperties> makeLog(const std::string& name) {
  auto log = std::make_shared<TLLogWithProperties>();
  log->setType("event");
  log->properties = std::map<std::string, std::string>{{"name", name}};
  return log;
}

}  // namespace ml::beacon::test

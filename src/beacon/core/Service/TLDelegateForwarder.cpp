#include "beacon/core/Service/TLDelegateForwarder.h"

#include <optional>
#include <string>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

namespace {

// The buffered trace lines of every forwarder. `blocks` is present from process start until the
// first flush.
struct TraceBuffer {
  std::mutex lock;
  std::optional<std::vector<TLDelegateForwarder::TraceBlock>> blocks{std::in_place};
};

// Never destroyed: a log level set during exit still flushes it.
TraceBuffer& traceBuffer() {
  static TLNeverDestroyed<TraceBuffer> buffer;
  return buffer.get();
}

bool sameObject(const std::weak_ptr<void>& a, const std::shared_ptr<void>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

bool TLDelegateForwarder::isEnabled() const {
  std::lock_guard guard(lock_);
  return enabled_;
}

void TLDelegateForwarder::setEnabled(bool isEnabled) {
  std::lock_guard guard(lock_);
  enabled_ = isEnabled;
  if (!isEnabled) delegates_.clear();
}

void TLDelegateForwarder::setEnabledFromPlistForKey(std::string_view key,
                                                    const foundation::PlistValue::Dictionary& info) {
  bool enabled = true;
  if (auto found = info.find(std::string(key)); found != info.end()) {
    if (auto value = found->second.boolean()) enabled = *value;
  }
  setEnabled(enabled);
  addTraceBlock([key = std::string(key), enabled] {
    if (enabled) {
      TL_LOG_DEBUG(kBeaconLogTag, "Delegate forwarder for info.plist key '" << key << "' enabled. It may use swizzling.");
    } else {
      TL_LOG_DEBUG(kBeaconLogTag,
                   "Delegate forwarder for info.plist key '" << key << "' disabled. It won't use swizzling.");
    }
  });
}

void TLDelegateForwarder::addDelegateObject(const std::shared_ptr<void>& delegate) {
  if (!delegate) return;
  std::lock_guard guard(lock_);
  if (!enabled_) return;
  std::erase_if(delegates_, [](const std::weak_ptr<void>& entry) { return entry.expired(); });
  for (const auto& entry : delegates_) {
    if (sameObject(entry, delegate)) return;
  }
  delegates_.push_back(delegate);
}

void TLDelegateForwarder::removeDelegateObject(const std::shared_ptr<void>& delegate) {
  std::lock_guard guard(lock_);
  if (!enabled_) return;
  std::erase_if(delegates_,
                [&](const std::weak_ptr<void>& entry) { return entry.expired() || sameObject(entry, delegate); });
}

std::vector<std::shared_ptr<void>> TLDelegateForwarder::delegateSnapshot() const {
  std::lock_guard guard(lock_);
  std::vector<std::shared_ptr<void>> live;
  if (!enabled_) return live;
  for (const auto& entry : delegates_) {
    if (auto delegate = entry.lock()) live.push_back(std::move(delegate));
  }
  return live;
}

void TLDelegateForwarder::addTraceBlock(TraceBlock block) {
  if (!block) return;
  auto& buffer = traceBuffer();
  {
    std::lock_guard guard(buffer.lock);
    if (buffer.blocks) {
      if (buffer.blocks->empty()) {
        buffer.blocks->push_back([] { TL_LOG_VERBOSE(kBeaconLogTag, "Start buffering traces."); });
      }
      buffer.blocks->push_back(std::move(block));
      return;
    }
  }
  block();
}

void TLDelegateForwarder::flushTraceBuffer() {
  auto& buffer = traceBuffer();
  std::vector<TraceBlock> blocks;
  {
    std::lock_guard guard(buffer.lock);
    if (!buffer.blocks) return;
    blocks = std::move(*buffer.blocks);
    buffer.blocks.reset();
  }
  // Outside the lock: a block that traces again runs at once instead of deadlocking.
  for (const auto& block : blocks) block();
  TL_LOG_VERBOSE(kBeaconLogTag, "Stop buffering traces, flushed.");
}

void TLDelegateForwarder::resetTraceBuffer() {
  auto& buffer = traceBuffer();
  std::lock_guard guard(buffer.lock);
  buffer.blocks.emplace();
}

}  // namespace ml::beacon

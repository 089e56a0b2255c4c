#pragma once
// Hands callbacks of an object the telemetry client does not own (the application's lifecycle)
// to the services that registered for them, and buffers the forwarder's diagnostic lines until
// the host chooses a log level.
//
// The platform delivers the callbacks itself: there is no delegate to exchange methods on, so
// the application calls the concrete forwarder's entry points (TLAppDelegateForwarder) from its
// own lifecycle handlers. A forwarder can be switched off by a key of the application's declared
// info; switched off it holds no delegates and forwards nothing.
//
// Thread-safe: the instance's lock guards the switch and the delegate list; callbacks run on a
// snapshot outside it, on the thread that delivered the callback. The trace buffer is
// process-wide with a lock of its own.
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/foundation/PlistValue.h"

namespace ml::beacon {

class TLDelegateForwarder {
 public:
  using TraceBlock = std::function<void()>;

  virtual ~TLDelegateForwarder() = default;

  bool isEnabled() const;
  // Switching off also forgets every registered delegate.
  void setEnabled(bool isEnabled);
  // Reads the boolean under `key` of the application's declared info (absent, or not a boolean:
  // on), sets the switch and queues a debug trace line saying which.
  void setEnabledFromPlistForKey(std::string_view key, const foundation::PlistValue::Dictionary& info);

  // --- Trace buffer (process-wide)
  // Queues `block` while the buffer exists (the first one behind a "Start buffering traces."
  // line); once the buffer was flushed, runs it at once.
  static void addTraceBlock(TraceBlock block);
  // Runs the buffered blocks in order and drops the buffer for good; later calls do nothing.
  // Called when a log level is first set.
  static void flushTraceBuffer();
  // A fresh buffer, as at process start. For tests, which share one process-wide buffer.
  static void resetTraceBuffer();

 protected:
  TLDelegateForwarder() = default;

  // Delegates held weakly; only while the forwarder is on.
  void addDelegateObject(const std::shared_ptr<void>& delegate);
  void removeDelegateObject(const std::shared_ptr<void>& delegate);
  // The live delegates, in registration order (empty while off).
  std::vector<std::shared_ptr<void>> delegateSnapshot() const;

 private:
  mutable std::mutex lock_;
  bool enabled_ = true;
  std::vector<std::weak_ptr<void>> delegates_;
};

}  // namespace ml::beacon

#include "crashreporter/capture/platform/FaultRelay.h"

#include <atomic>

namespace ml::crash::mach {
namespace {

// Threads that may wait in the relay at once; a thread that finds no room is still relayed, but
// its registers cannot be read by the handler.
constexpr uint32_t kStoppedCapacity = 64;

struct StoppedThread {
  std::atomic<int32_t> tid{0};
  std::atomic<const ucontext_t*> context{nullptr};
  std::atomic<const siginfo_t*> info{nullptr};
};

StoppedThread g_stopped[kStoppedCapacity];

}  // namespace

// Crash time.
int tl_fault_relay_record_stopped(int32_t tid, const ucontext_t* context, const siginfo_t* info) {
  for (int i = 0; i < static_cast<int>(kStoppedCapacity); ++i) {
    StoppedThread& slot = g_stopped[i];
    int32_t free = 0;
    if (!slot.tid.compare_exchange_strong(free, tid, std::memory_order_acq_rel)) continue;
    slot.info.store(info, std::memory_order_relaxed);
    slot.context.store(context, std::memory_order_release);
    return i;
  }
  return -1;
}

// Crash time.
void tl_fault_relay_forget_stopped(int index) {
  if (index < 0 || index >= static_cast<int>(kStoppedCapacity)) return;
  StoppedThread& slot = g_stopped[index];
  slot.context.store(nullptr, std::memory_order_release);
  slot.info.store(nullptr, std::memory_order_relaxed);
  slot.tid.store(0, std::memory_order_release);
}

// Crash time.
bool tl_fault_relay_stopped_thread(tlcrash_thread_t thread, const ucontext_t** context, const siginfo_t** info) {
  for (const StoppedThread& slot : g_stopped) {
    if (slot.tid.load(std::memory_order_acquire) != thread) continue;
    const ucontext_t* found = slot.context.load(std::memory_order_acquire);
    if (found == nullptr) continue;
    *context = found;
    *info = slot.info.load(std::memory_order_relaxed);
    return true;
  }
  return false;
}

}  // namespace ml::crash::mach

#include "crashreporter/capture/TLCrashSignalHandler.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "crashreporter/NeverDestroyed.h"
#include "crashreporter/capture/SignalDelivery.h"
#include "crashreporter/capture/platform/ThreadAlternateStacks.h"
#include "crashreporter/image/AsyncList.h"

namespace ml::crash {
namespace {

// The lists delivery walks (SignalDelivery.h); their nodes are allocated here, at registration.
// Namespace scope: constructed before main, and published before the first handler is installed.
// Never destroyed: a crash during exit walks them too.
NeverDestroyed<tlcrash_signal_callback_list> g_callbacks_storage;
NeverDestroyed<tlcrash_signal_action_list> g_previous_actions_storage;
tlcrash_signal_callback_list& g_callbacks = *g_callbacks_storage;
tlcrash_signal_action_list& g_previous_actions = *g_previous_actions_storage;
std::mutex g_register_lock;        // registerHandlers: serialises registration
bool g_pass_through_added = false; // under g_register_lock
std::atomic<bool> g_shared_stack_taken{false};

// --- Alternate stacks ---------------------------------------------------------------------------

void* mapStack() { return tlcrash_nasync_alternate_stack_map(); }

int useStack(void* base) {
  stack_t stack{};
  stack.ss_sp = base;
  stack.ss_size = kAlternateStackSize;
  stack.ss_flags = 0;
  return ::sigaltstack(&stack, nullptr) == 0 ? 0 : errno;
}

bool containsCallback(const tlcrash_signal_user_callback& callback) {
  g_callbacks.set_reading(true);
  bool found = false;
  for (const auto* n = g_callbacks.next(nullptr); n != nullptr && !found; n = g_callbacks.next(n)) {
    found = n->value == callback;
  }
  g_callbacks.set_reading(false);
  return found;
}

template <typename V>
void removeAll(async_list<V>& list) {
  for (;;) {
    list.set_reading(true);
    auto* first = list.next(nullptr);
    list.set_reading(false);
    if (first == nullptr) return;
    list.remove(first);
  }
}

}  // namespace

TLCrashSignalHandler::TLCrashSignalHandler() : sigstk_base_(mapStack()) {}

TLCrashSignalHandler& TLCrashSignalHandler::sharedHandler() {
  static TLCrashSignalHandler handler;
  return handler;
}

TLCrashStatus TLCrashSignalHandler::installAlternateStack() {
  // A stack given by the thread coverage (or by anyone else) of full size serves as well.
  if (tlcrash_async_thread_has_alternate_stack()) return TLCrashOk{};
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0) {
    if ((current.ss_flags & SS_ONSTACK) != 0) return TLCrashOk{};  // running on it: leave it alone
    if (current.ss_sp != nullptr && current.ss_sp == sigstk_base_) return TLCrashOk{};
  }
  int error = ENOMEM;
  bool expected = false;
  if (sigstk_base_ != nullptr && g_shared_stack_taken.compare_exchange_strong(expected, true)) {
    error = useStack(sigstk_base_);
    if (error != 0) g_shared_stack_taken.store(false);
  } else {
    // The thread's own, kept through its teardown as every covered thread's is.
    error = tlcrash_nasync_alternate_stack_install_current();
  }
  if (error != 0) return tlcrash_populate_posix_error(error, "Could not initialize alternative signal stack");
  return TLCrashOk{};
}

TLCrashStatus TLCrashSignalHandler::installAlternateStackForCurrentThread() {
  std::lock_guard<std::mutex> lock(g_register_lock);
  return installAlternateStack();
}

TLCrashStatus TLCrashSignalHandler::registerHandlerWithSignal(int signo) {
  std::lock_guard<std::mutex> lock(g_register_lock);
  if (TLCrashStatus stack = installAlternateStack(); !stack) return stack;

  tlcrash_nasync_signal_lists_publish(&g_callbacks, &g_previous_actions);
  if (!g_pass_through_added) {
    g_callbacks.append(tlcrash_signal_user_callback{tlcrash_async_signal_pass_through, nullptr});
    g_pass_through_added = true;
  }

  struct sigaction known{};
  if (tlcrash_async_signal_previous_action(signo, &known)) return TLCrashOk{};  // installed once per signal

  struct sigaction action{};
  action.sa_sigaction = tlcrash_signal_handler;
  action.sa_flags = SA_ONSTACK | SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  struct sigaction old{};
  if (::sigaction(signo, &action, &old) != 0) {
    return tlcrash_populate_posix_error(errno, "Failed to register signal handler");
  }
  // After resetHandlers the old action may be our own handler: passing the signal on to it would
  // loop, so it counts as the default action.
  if ((old.sa_flags & SA_SIGINFO) != 0 && old.sa_sigaction == tlcrash_signal_handler) {
    old = {};
    old.sa_handler = SIG_DFL;
  }
  g_previous_actions.append(tlcrash_signal_handler_action{signo, old});
  return TLCrashOk{};
}

TLCrashStatus TLCrashSignalHandler::registerHandlerForSignal(int signo, TLCrashSignalHandlerCallbackFunc callback,
                                                             void* context) {
  if (TLCrashStatus installed = registerHandlerWithSignal(signo); !installed) return installed;
  std::lock_guard<std::mutex> lock(g_register_lock);
  tlcrash_signal_user_callback entry{callback, context};
  if (!containsCallback(entry)) g_callbacks.prepend(entry);
  return TLCrashOk{};
}

void TLCrashSignalHandler::resetHandlers() {
  std::lock_guard<std::mutex> lock(g_register_lock);
  removeAll(g_previous_actions);
  removeAll(g_callbacks);
  g_pass_through_added = false;  // the next registration puts the pass-through entry back
}

}  // namespace ml::crash

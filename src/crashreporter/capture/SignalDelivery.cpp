#include "crashreporter/capture/SignalDelivery.h"

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace ml::crash {
namespace {

// Set once by the registration before it installs a handler; trivially destructible, so nothing
// of the registration's (allocating) lists is constructed or destroyed here.
std::atomic<tlcrash_signal_callback_list*> g_callbacks{nullptr};
std::atomic<tlcrash_signal_action_list*> g_previous_actions{nullptr};

using CallbackNode = tlcrash_signal_callback_list::node;

bool runChain(tlcrash_signal_callback_list* callbacks, const CallbackNode* after, int signo, siginfo_t* info,
              ucontext_t* uap);

// Crash time: the next handle of an entry continues the chain after that entry.
bool chainStep(int signo, siginfo_t* info, ucontext_t* uap, void* context) {
  tlcrash_signal_callback_list* callbacks = g_callbacks.load(std::memory_order_acquire);
  return runChain(callbacks, static_cast<const CallbackNode*>(context), signo, info, uap);
}

// Crash time: runs the entry after `after` (the head when null), counted in as a reader.
bool runChain(tlcrash_signal_callback_list* callbacks, const CallbackNode* after, int signo, siginfo_t* info,
              ucontext_t* uap) {
  if (callbacks == nullptr) return false;
  callbacks->set_reading(true);
  const auto* entry = callbacks->next(after);
  if (entry == nullptr) {
    callbacks->set_reading(false);
    return false;
  }
  TLCrashSignalHandlerCallback next{chainStep, const_cast<void*>(static_cast<const void*>(entry))};
  const bool last = callbacks->next(entry) == nullptr;
  const bool handled = entry->value.callback(signo, info, uap, entry->value.context, last ? nullptr : &next);
  callbacks->set_reading(false);
  return handled;
}

}  // namespace

// Crash time.
void tlcrash_nasync_signal_lists_publish(tlcrash_signal_callback_list* callbacks,
                                         tlcrash_signal_action_list* previous_actions) {
  g_callbacks.store(callbacks, std::memory_order_release);
  g_previous_actions.store(previous_actions, std::memory_order_release);
}

// Crash time.
bool tlcrash_async_signal_previous_action(int signo, struct sigaction* action) {
  tlcrash_signal_action_list* actions = g_previous_actions.load(std::memory_order_acquire);
  if (actions == nullptr) return false;
  actions->set_reading(true);
  bool found = false;
  for (const auto* n = actions->next(nullptr); n != nullptr; n = actions->next(n)) {
    if (n->value.signo == signo) {
      *action = n->value.action;
      found = true;
      break;
    }
  }
  actions->set_reading(false);
  return found;
}

// Crash time.
bool tlcrash_async_signal_pass_through(int signo, siginfo_t* info, ucontext_t* uap, void*,
                                       TLCrashSignalHandlerCallback* next) {
  if (next != nullptr && TLCrashSignalHandlerForward(next, signo, info, uap)) return true;
  struct sigaction previous{};
  if (!tlcrash_async_signal_previous_action(signo, &previous)) return false;
  if ((previous.sa_flags & SA_SIGINFO) != 0) {
    if (previous.sa_sigaction == nullptr) return false;
    previous.sa_sigaction(signo, info, uap);
    return true;
  }
  if (previous.sa_handler == SIG_IGN) return true;
  if (previous.sa_handler == SIG_DFL) return false;
  previous.sa_handler(signo);
  return true;
}

// Crash time: the handler given to the system.
void tlcrash_signal_handler(int signo, siginfo_t* info, void* uap) {
  const int saved_errno = errno;
  if (!runChain(g_callbacks.load(std::memory_order_acquire), nullptr, signo, info, static_cast<ucontext_t*>(uap))) {
    // Nobody handled it: the default action takes over. Raised again, the signal is delivered as
    // soon as this handler returns; were our action left in place it would come straight back
    // here, for ever.
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signo, &fallback, nullptr);
    ::raise(signo);
  }
  errno = saved_errno;
}

// Crash time.
bool TLCrashSignalHandlerForward(TLCrashSignalHandlerCallback* next, int signo, siginfo_t* info, ucontext_t* uap) {
  if (next == nullptr) return false;
  return next->callback(signo, info, uap, next->context);
}

}  // namespace ml::crash

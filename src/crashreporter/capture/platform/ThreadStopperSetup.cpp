#include "crashreporter/capture/platform/ThreadStopper.h"

#include <cerrno>
#include <csignal>
#include <mutex>

namespace ml::crash {
namespace {

std::mutex g_prepare_lock;

bool isUnhandled(int signo) {
  struct sigaction current{};
  if (::sigaction(signo, nullptr, &current) != 0) return false;
  return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
}

}  // namespace

int tlcrash_nasync_thread_stopper_prepare() {
  std::lock_guard<std::mutex> lock(g_prepare_lock);
  if (tlcrash_async_thread_stopper_signal() != 0) return 0;
  // The highest free real-time signal: libraries that use these take them from the bottom.
  for (int signo = SIGRTMAX; signo >= SIGRTMIN; --signo) {
    if (!isUnhandled(signo)) continue;
    struct sigaction action{};
    action.sa_sigaction = tlcrash_async_thread_stop_handler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigfillset(&action.sa_mask);  // a stopped thread stays stopped
    if (::sigaction(signo, &action, nullptr) != 0) return errno;
    tlcrash_nasync_thread_stopper_set_signal(signo);
    return 0;
  }
  return EAGAIN;
}

}  // namespace ml::crash

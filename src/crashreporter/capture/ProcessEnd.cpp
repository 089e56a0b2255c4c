#include "crashreporter/capture/ProcessEnd.h"

#include <csignal>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ml::crash {

// Crash time.
void tlcrash_async_end_process_with_signal(int signo) {
  struct sigaction fallback{};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signo, &fallback, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signo);
  sigset_t previous;
  ::pthread_sigmask(SIG_UNBLOCK, &only, &previous);
  ::syscall(SYS_tgkill, ::syscall(SYS_getpid), ::syscall(SYS_gettid), signo);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace ml::crash

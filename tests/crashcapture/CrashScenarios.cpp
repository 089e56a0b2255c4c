#include "CrashScenarios.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {

__attribute__((noinline, used)) void crashcapture_null_read() {
  volatile int* address = nullptr;
  (void)*address;
  asm volatile("" ::: "memory");
}

__attribute__((noinline, used)) void crashcapture_bus_error() {
  // A page beyond the end of an empty file: mapped, but with nothing behind it.
  int fd = ::memfd_create("crashcapture", 0);
  auto* page = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  (void)page[0];
  asm volatile("" ::: "memory");
}

__attribute__((noinline, used)) int crashcapture_divide(int dividend, int divisor) {
  // The division instruction itself: a checked build would stop a C++ division by zero first.
  int quotient;
  asm volatile("cltd\n\tidivl %[divisor]" : "=a"(quotient) : "a"(dividend), [divisor] "r"(divisor) : "edx", "cc");
  return quotient;
}

__attribute__((noinline, used)) void crashcapture_abort() {
  // Called through a pointer the compiler cannot see through, so the call is not turned into a
  // jump and this frame stays on the stack.
  void (*volatile abort_now)() = std::abort;
  abort_now();
  asm volatile("" ::: "memory");
}

__attribute__((noinline, used)) void crashcapture_illegal_instruction() {
  asm volatile("ud2");
}

// Deeper than any stack: the recursion only ends at the guard page.
volatile int crashcapture_overflow_limit = INT_MAX;

__attribute__((noinline, used)) int crashcapture_overflow(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  int deeper = depth < crashcapture_overflow_limit ? crashcapture_overflow(depth + 1) : 0;
  asm volatile("" ::: "memory");
  return deeper + frame[0];
}

__attribute__((noinline, used)) void crashcapture_breakpoint() {
  asm volatile("int3");
  asm volatile("" ::: "memory");
}

// The sanitizer build checks an indirect call's target by reading just before it: that read
// would fault first, inside this function, instead of the call.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
__attribute__((noinline, used)) void crashcapture_null_call() {
  void (*volatile target)() = nullptr;
  target();
  asm volatile("" ::: "memory");
}

__attribute__((noinline, used)) void crashcapture_blocked_thread_wait() {
  for (;;) ::pause();
}

}  // extern "C"

namespace ml::crash::test {
namespace {

std::atomic<size_t> g_blocked{0};

void* blockedThread(void*) {
  g_blocked.fetch_add(1);
  crashcapture_blocked_thread_wait();
  return nullptr;
}

std::atomic<size_t> g_ready{0};
std::atomic<bool> g_fault_now{false};

void* faultingThread(void*) {
  g_ready.fetch_add(1);
  while (!g_fault_now.load(std::memory_order_acquire)) {
  }
  crashcapture_null_read();
  return nullptr;
}

}  // namespace

void faultTogether(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, faultingThread, nullptr) != 0) {
      std::fprintf(stderr, "pthread_create failed\n");
      ::_exit(91);
    }
  }
  // All spin on the flag, so they leave it within the same few instructions.
  while (g_ready.load() < count) ::usleep(100);
  g_fault_now.store(true, std::memory_order_release);
  for (;;) ::pause();
}

TLCrashReporter makeReporter(uint64_t handler_type, uint64_t strategy, bool uncaught_exception_hook) {
  return TLCrashReporter(kTestAppIdentifier, kTestAppVersion, std::string("7.0"),
                         TLCrashReporterConfig(handler_type, strategy, uncaught_exception_hook));
}

void startBlockedThreads(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, blockedThread, nullptr) != 0) {
      std::fprintf(stderr, "pthread_create failed\n");
      ::_exit(91);
    }
    ::pthread_detach(thread);
  }
  // The counter moves before the thread reaches pause(): give each a moment to get there. The
  // report is right either way; this only makes the stacks predictable.
  while (g_blocked.load() < count) ::usleep(1000);
  ::usleep(20000);
}

void enableOrExit(TLCrashReporter& reporter) {
  TLCrashStatus status = reporter.enableCrashReporter();
  if (!status) {
    std::fprintf(stderr, "enable failed: %d %s (os %d)\n", status.error().code, status.error().description.c_str(),
                 status.error().osError);
    ::_exit(90);
  }
}

std::string selfExecutable() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace ml::crash::test

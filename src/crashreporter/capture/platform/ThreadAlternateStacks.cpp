#include "crashreporter/capture/platform/ThreadAlternateStacks.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/platform/Futex.h"
#include "crashreporter/capture/platform/ThreadList.h"

namespace ml::crash {
namespace {

using StartRoutine = void* (*)(void*);
using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, StartRoutine, void*);

std::atomic<bool> g_covering{false};
// pthread_create calls that decided not to cover their thread and have not returned yet: the
// thread they make may miss the sweep of running threads, so the sweep waits for them.
std::atomic<uint32_t> g_uncovered_in_flight{0};

size_t pageSize() {
  long size = ::sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<size_t>(size) : 4096;
}

int useStack(void* base) {
  stack_t stack{};
  stack.ss_sp = base;
  stack.ss_size = kThreadAlternateStackSize;
  stack.ss_flags = 0;
  return ::sigaltstack(&stack, nullptr) == 0 ? 0 : errno;
}

// A stack owned by the thread that installed it. Plain data: no thread_local destructor is
// registered for it.
struct OwnedStack {
  void* base = nullptr;
  unsigned rounds = 0;  // destructor rounds of the ending thread seen so far
};
thread_local OwnedStack t_owned;

// The stack is given back as late as a thread's own code can run. A thread's C++ thread_local
// destructors run first, then the destructors of its pthread keys, in up to
// PTHREAD_DESTRUCTOR_ITERATIONS rounds: the key below sets itself again at each round, so the
// stack stays through the thread_local destructors and every round but the last (in which it goes
// when the key's turn comes). What runs after that is the C library's own teardown. The main
// thread's stack is never given back: its keys' destructors do not run at exit, and exit's
// handlers and static destructors may overflow too.
pthread_key_t g_release_key;
int g_release_key_error = 0;
std::once_flag g_release_key_once;

// ThreadSanitizer takes the same last round to tear down its record of the thread and stops the
// process when the thread's code calls into it after that: under it the stack goes in the first
// round instead.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ML_THREAD_SANITIZER 1
#endif
#endif
#ifdef ML_THREAD_SANITIZER
constexpr unsigned kReleaseRound = 1;
#else
constexpr unsigned kReleaseRound = PTHREAD_DESTRUCTOR_ITERATIONS;
#endif

void releaseOwnedStack(void* raw) {
  auto* owned = static_cast<OwnedStack*>(raw);
  if (++owned->rounds < kReleaseRound && ::pthread_setspecific(g_release_key, owned) == 0) return;
  void* base = owned->base;
  owned->base = nullptr;
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == base) {
    if ((current.ss_flags & SS_ONSTACK) != 0) return;  // still in use: leave it mapped
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
  }
  tlcrash_nasync_alternate_stack_unmap(base);
}

// Arranges for the calling thread's stack to be given back when the thread ends; false when it
// cannot be (the stack then stays to the end of the process).
bool releaseAtThreadEnd(OwnedStack* owned) {
  std::call_once(g_release_key_once,
                 [] { g_release_key_error = ::pthread_key_create(&g_release_key, releaseOwnedStack); });
  return g_release_key_error == 0 && ::pthread_setspecific(g_release_key, owned) == 0;
}

// --- Threads created later ----------------------------------------------------------------------

struct StartRecord {
  StartRoutine start;
  void* argument;
};

void* coveredStart(void* raw) {
  std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(raw));
  const StartRecord copy = *record;
  record.reset();
  // Without a stack the thread still runs; only its overflow would go unreported.
  tlcrash_nasync_alternate_stack_install_current();
  return copy.start(copy.argument);
}

CreateFunction nextCreate() {
  static std::atomic<CreateFunction> next{nullptr};
  CreateFunction found = next.load(std::memory_order_acquire);
  if (found == nullptr) {
    found = reinterpret_cast<CreateFunction>(::dlsym(RTLD_NEXT, "pthread_create"));
    next.store(found, std::memory_order_release);
  }
  return found;
}

// --- Threads already running --------------------------------------------------------------------

enum : uint32_t {
  kIdle = 0,
  kRequested = 1,  // stack prepared, signal sent
  kClaimed = 2,    // the thread is answering
  kInstalled = 3,  // the thread took the stack
  kDeclined = 4,   // the thread had a stack already (or sigaltstack failed): ours is unused
  kAbandoned = 5,  // no answer in time: the stack stays mapped, the thread may still take it
};

struct CoverSlot {
  std::atomic<int32_t> tid{0};
  std::atomic<uint32_t> state{kIdle};
  void* base = nullptr;
};

CoverSlot g_slots[kMaxListedThreads];
std::atomic<uint32_t> g_slot_count{0};
std::atomic<int> g_cover_signal{0};
std::mutex g_cover_lock;

// Runs on the thread to cover. Async-signal-safe: a linear search, a futex wake. The return from
// a handler restores the alternate stack recorded in its context, so the stack is installed by
// writing it there: the thread has it from the moment the handler returns.
void onCoverSignal(int, siginfo_t* info, void* raw_context) {
  const int saved_errno = errno;
  if (info->si_code == SI_TKILL && info->si_pid == ::getpid()) {
    const auto self = static_cast<int32_t>(::syscall(SYS_gettid));
    const uint32_t count = g_slot_count.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < count; ++i) {
      CoverSlot& slot = g_slots[i];
      if (slot.tid.load(std::memory_order_acquire) != self) continue;
      uint32_t expected = kRequested;
      // Claiming first: a slot the sweep gave up on is no longer ours to use.
      if (!slot.state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) break;
      uint32_t outcome = kDeclined;
      auto* context = static_cast<ucontext_t*>(raw_context);
      const stack_t& had = context->uc_stack;
      const bool has_one = (had.ss_flags & SS_DISABLE) == 0 && had.ss_sp != nullptr && had.ss_size >= kThreadAlternateStackSize;
      if (!has_one) {
        context->uc_stack.ss_sp = slot.base;
        context->uc_stack.ss_size = kThreadAlternateStackSize;
        context->uc_stack.ss_flags = 0;
        outcome = kInstalled;
      }
      slot.state.store(outcome, std::memory_order_release);
      tlcrash_async_futex_wake(&slot.state);
      break;
    }
  }
  errno = saved_errno;
}

bool isUnhandled(int signo) {
  struct sigaction current{};
  if (::sigaction(signo, nullptr, &current) != 0) return false;
  return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
}

// The cover signal: a free real-time signal, taken from the top as the thread stopper does (the
// stopper, prepared first, holds the highest one).
int coverSignal() {
  if (int signo = g_cover_signal.load(); signo != 0) return signo;
  for (int signo = SIGRTMAX; signo >= SIGRTMIN; --signo) {
    if (!isUnhandled(signo)) continue;
    struct sigaction action{};
    action.sa_sigaction = onCoverSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigfillset(&action.sa_mask);
    if (::sigaction(signo, &action, nullptr) != 0) return 0;
    g_cover_signal.store(signo);
    return signo;
  }
  return 0;
}

// Whether thread `tid` blocks `signo`, from its status file; false when that cannot be read.
bool blocksSignal(int32_t tid, int signo) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigBlk:", 0) != 0) continue;
    unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
    return signo - 1 < 64 && (mask >> (signo - 1) & 1u) != 0;
  }
  return false;
}

}  // namespace

void* tlcrash_nasync_alternate_stack_map() {
  const size_t guard = pageSize();
  void* mapping =
      ::mmap(nullptr, guard + kThreadAlternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    const int error = errno;
    tlcrash_nasync_log("[TLCrashReporter] Warning -- could not map an alternate signal stack of %zu bytes: %s",
                       guard + kThreadAlternateStackSize, std::strerror(error));
    return nullptr;
  }
  // The stack is still used without its guard page, but a handler that overruns it then writes
  // over whatever lies below instead of faulting: the log must say so.
  if (::mprotect(mapping, guard, PROT_NONE) != 0) {
    const int error = errno;
    tlcrash_nasync_log("[TLCrashReporter] Warning -- could not protect the guard page at %p of the alternate signal "
                       "stack at %p: %s; an overrun of that stack will not fault",
                       mapping, static_cast<void*>(static_cast<uint8_t*>(mapping) + guard), std::strerror(error));
  }
  return static_cast<uint8_t*>(mapping) + guard;
}

void tlcrash_nasync_alternate_stack_unmap(void* base) {
  const size_t guard = pageSize();
  ::munmap(static_cast<uint8_t*>(base) - guard, guard + kThreadAlternateStackSize);
}

bool tlcrash_async_thread_has_alternate_stack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) != 0) return false;
  return (current.ss_flags & SS_DISABLE) == 0 && current.ss_sp != nullptr &&
         current.ss_size >= kThreadAlternateStackSize;
}

int tlcrash_nasync_alternate_stack_install_current() {
  if (tlcrash_async_thread_has_alternate_stack()) return 0;
  if (t_owned.base == nullptr) {
    t_owned.base = tlcrash_nasync_alternate_stack_map();
    if (t_owned.base == nullptr) return ENOMEM;
    t_owned.rounds = 0;
    // The main thread's stays: see g_release_key.
    if (::getpid() != static_cast<pid_t>(::syscall(SYS_gettid))) releaseAtThreadEnd(&t_owned);
  }
  return useStack(t_owned.base);
}

bool tlcrash_alternate_stacks_covering() { return g_covering.load(std::memory_order_acquire); }

unsigned tlcrash_nasync_alternate_stacks_cover_all_threads(unsigned long long wait_ns) {
  std::lock_guard<std::mutex> lock(g_cover_lock);
  g_covering.store(true, std::memory_order_seq_cst);
  // Threads whose creation began before coverage was on exist once their pthread_create returns.
  while (g_uncovered_in_flight.load(std::memory_order_seq_cst) != 0) tlcrash_async_sleep_ns(100 * 1000);

  unsigned uncovered = 0;
  if (tlcrash_nasync_alternate_stack_install_current() != 0) ++uncovered;

  auto list = std::make_unique<tlcrash_async_thread_list>();
  if (tlcrash_async_thread_list_read(list.get()) != TLCRASH_ESUCCESS) return uncovered + 1;
  const int signo = coverSignal();
  const auto self = static_cast<int32_t>(::syscall(SYS_gettid));

  uint32_t count = 0;
  for (uint32_t i = 0; i < list->count; ++i) {
    const int32_t tid = list->tids[i];
    if (tid == self) continue;
    if (signo == 0 || blocksSignal(tid, signo)) {
      ++uncovered;
      continue;
    }
    void* base = tlcrash_nasync_alternate_stack_map();
    if (base == nullptr) {
      ++uncovered;
      continue;
    }
    CoverSlot& slot = g_slots[count++];
    slot.base = base;
    slot.tid.store(tid, std::memory_order_relaxed);
    slot.state.store(kRequested, std::memory_order_relaxed);
  }
  g_slot_count.store(count, std::memory_order_release);

  const pid_t pid = ::getpid();
  for (uint32_t i = 0; i < count; ++i) {
    CoverSlot& slot = g_slots[i];
    if (::syscall(SYS_tgkill, pid, slot.tid.load(), signo) != 0) {
      // Gone since the list was read: nothing to cover.
      uint32_t expected = kRequested;
      slot.state.compare_exchange_strong(expected, kDeclined);
    }
  }

  const uint64_t deadline = tlcrash_async_monotonic_ns() + wait_ns;
  for (uint32_t i = 0; i < count; ++i) {
    CoverSlot& slot = g_slots[i];
    tlcrash_async_futex_wait_until(&slot.state, kRequested, deadline);
    uint32_t state = kRequested;
    if (slot.state.compare_exchange_strong(state, kAbandoned)) {
      ++uncovered;  // its stack stays mapped: the thread may answer later
      continue;
    }
    // A thread between its claim and its answer is a few instructions from done.
    tlcrash_async_futex_wait_until(&slot.state, kClaimed, tlcrash_async_monotonic_ns() + 100 * kNanosPerMilli);
    state = slot.state.load(std::memory_order_acquire);
    if (state == kDeclined) tlcrash_nasync_alternate_stack_unmap(slot.base);
  }
  g_slot_count.store(0, std::memory_order_release);
  for (uint32_t i = 0; i < count; ++i) {
    g_slots[i].tid.store(0, std::memory_order_relaxed);
    g_slots[i].state.store(kIdle, std::memory_order_relaxed);
    g_slots[i].base = nullptr;
  }
  return uncovered;
}

}  // namespace ml::crash

// Ahead of the C library's definition (see the header). Sanitizer runtimes define their own
// interceptor under this name; when one is linked in, new threads go through it so the sanitizer
// keeps track of them.
extern "C" int __interceptor_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)
    __attribute__((weak));

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* argument) {
  using namespace ml::crash;
  CreateFunction create = __interceptor_pthread_create != nullptr ? __interceptor_pthread_create : nextCreate();
  if (create == nullptr) return EAGAIN;
  g_uncovered_in_flight.fetch_add(1, std::memory_order_seq_cst);
  if (!g_covering.load(std::memory_order_seq_cst)) {
    int result = create(thread, attr, start, argument);
    g_uncovered_in_flight.fetch_sub(1, std::memory_order_seq_cst);
    return result;
  }
  g_uncovered_in_flight.fetch_sub(1, std::memory_order_seq_cst);
  auto record = std::make_unique<StartRecord>(StartRecord{start, argument});
  int result = create(thread, attr, coveredStart, record.get());
  if (result == 0) record.release();  // the new thread owns it now
  return result;
}

// The signal handler registry, each case in a child (actions stay installed for the life of a
// process): the chain's order, the pass-through to the action installed before ours, re-raising,
// failed registrations, and one alternate stack per thread.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

#include "crashreporter/capture/TLCrashSignalHandler.h"
#include "support/ChildProcess.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

// Writes "<tag>\n" to standard error. Async-signal-safe.
void say(const char* tag) {
  ::write(2, tag, std::strlen(tag));
  ::write(2, "\n", 1);
}

bool first(int, siginfo_t* info, ucontext_t* uap, void*, TLCrashSignalHandlerCallback* next) {
  say("first");
  return TLCrashSignalHandlerForward(next, info->si_signo, info, uap);
}

bool second(int, siginfo_t* info, ucontext_t* uap, void*, TLCrashSignalHandlerCallback* next) {
  say("second");
  return TLCrashSignalHandlerForward(next, info->si_signo, info, uap);
}

bool handles(int, siginfo_t*, ucontext_t*, void*, TLCrashSignalHandlerCallback*) {
  say("handled");
  return true;
}

void oldHandler(int) { say("old handler"); }

void registerOrExit(int signo, TLCrashSignalHandlerCallbackFunc callback) {
  if (!TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(signo, callback, nullptr).ok()) ::_exit(50);
}

TEST(TLCrashSignalHandler, LaterCallbackRunsFirstAndTheSignalGetsNoSecondAction) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, oldHandler);
    registerOrExit(SIGUSR1, first);
    struct sigaction installed{};
    ::sigaction(SIGUSR1, nullptr, &installed);
    registerOrExit(SIGUSR1, second);
    struct sigaction again{};
    ::sigaction(SIGUSR1, nullptr, &again);
    if (again.sa_sigaction != installed.sa_sigaction) ::_exit(51);
    ::raise(SIGUSR1);
    say("returned");
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.err, "second\nfirst\nold handler\nreturned\n");
}

TEST(TLCrashSignalHandler, SameCallbackRegisteredForTwoSignalsRunsOnce) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, SIG_IGN);
    registerOrExit(SIGUSR1, first);
    registerOrExit(SIGUSR2, first);
    ::raise(SIGUSR1);
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.err, "first\n");
}

TEST(TLCrashSignalHandler, EarlierIgnoreCountsAsHandled) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, SIG_IGN);
    registerOrExit(SIGUSR1, first);
    ::raise(SIGUSR1);
    say("went on");
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.err, "first\nwent on\n");
}

TEST(TLCrashSignalHandler, EarlierDefaultActionIsRaisedAgain) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, SIG_DFL);
    registerOrExit(SIGUSR1, first);
    ::raise(SIGUSR1);
    say("went on");
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGUSR1);
  EXPECT_EQ(outcome.err, "first\n");
}

TEST(TLCrashSignalHandler, CallbackThatHandlesTheSignalEndsTheChain) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, SIG_DFL);
    registerOrExit(SIGUSR1, first);
    registerOrExit(SIGUSR1, handles);
    ::raise(SIGUSR1);
    say("went on");
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.err, "handled\nwent on\n");
}

TEST(TLCrashSignalHandler, RefusedSignalIsReportedAndRegistrationGoesOn) {
  ChildOutcome outcome = runInChild([] {
    auto refused = TLCrashSignalHandler::sharedHandler().registerHandlerForSignal(SIGKILL, first, nullptr);
    if (refused.ok()) ::_exit(60);
    if (refused.error().description != "Failed to register signal handler") ::_exit(61);
    if (refused.error().code != TLCrashReporterErrorOperatingSystem || refused.error().osError != EINVAL) ::_exit(62);
    if (refused.error().underlyingDomain != TLCrashUnderlyingErrorDomain::kPosix) ::_exit(63);
    registerOrExit(SIGUSR1, handles);  // the registration lock is free again
    ::_exit(0);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

TEST(TLCrashSignalHandler, ResetEmptiesTheChainAndLaterRegistrationsWorkAgain) {
  ChildOutcome outcome = runInChild([] {
    ::signal(SIGUSR1, SIG_IGN);
    registerOrExit(SIGUSR1, first);
    TLCrashSignalHandler::resetHandlers();
    registerOrExit(SIGUSR1, second);
    ::raise(SIGUSR1);  // our own handler is the action the second registration replaced
    say("went on");
    ::_exit(0);
  });
  // The previous action now on record is our own handler, taken as the default: re-raised.
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGUSR1);
  EXPECT_EQ(outcome.err, "second\n");
}

TEST(TLCrashSignalHandler, EveryRegisteringThreadGetsAnAlternateStackOfItsOwn) {
  ChildOutcome outcome = runInChild([] {
    registerOrExit(SIGUSR1, first);
    stack_t main_stack{};
    ::sigaltstack(nullptr, &main_stack);
    if (main_stack.ss_sp == nullptr || (main_stack.ss_flags & SS_DISABLE) != 0) ::_exit(70);
    if (main_stack.ss_size != kAlternateStackSize) ::_exit(71);
    static stack_t other_stack{};
    pthread_t thread;
    ::pthread_create(&thread, nullptr, [](void*) -> void* {
      registerOrExit(SIGUSR2, first);
      ::sigaltstack(nullptr, &other_stack);
      return nullptr;
    }, nullptr);
    ::pthread_join(thread, nullptr);
    if (other_stack.ss_sp == nullptr || other_stack.ss_sp == main_stack.ss_sp) ::_exit(72);
    ::_exit(0);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

}  // namespace
}  // namespace ml::crash::test

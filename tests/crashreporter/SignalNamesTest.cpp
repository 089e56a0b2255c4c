#include <gtest/gtest.h>

#include <csignal>

#include "crashreporter/SignalNames.h"

namespace ml::crash {
namespace {

TEST(SignalNames, FollowLinuxNumbering) {
  EXPECT_STREQ(tlcrash_async_signal_signame(7), "SIGBUS");
  EXPECT_STREQ(tlcrash_async_signal_signame(6), "SIGABRT");  // before its alias SIGIOT
  EXPECT_STREQ(tlcrash_async_signal_signame(11), "SIGSEGV");
  EXPECT_STREQ(tlcrash_async_signal_signame(31), "SIGSYS");
  EXPECT_EQ(tlcrash_async_signal_signame(0), nullptr);
  EXPECT_EQ(tlcrash_async_signal_signame(SIGRTMIN), nullptr);
}

TEST(SignalNames, CodesOfFaultSignals) {
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGFPE, 1), "FPE_INTDIV");
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGSEGV, 1), "SEGV_MAPERR");
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGSEGV, 2), "SEGV_ACCERR");
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGBUS, 2), "BUS_ADRERR");
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGILL, 1), "ILL_ILLOPC");
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGTRAP, 1), "TRAP_BRKPT");
  EXPECT_EQ(tlcrash_async_signal_sigcode(SIGSEGV, 5), nullptr);
}

TEST(SignalNames, SenderCodesApplyToEverySignal) {
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGSEGV, SI_KERNEL), "SI_KERNEL");  // general-protection fault
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGABRT, SI_TKILL), "SI_TKILL");    // abort()
  EXPECT_STREQ(tlcrash_async_signal_sigcode(SIGABRT, SI_USER), "SI_USER");      // kill -ABRT
  EXPECT_EQ(tlcrash_async_signal_sigcode(SIGABRT, 1), nullptr);
}

}  // namespace
}  // namespace ml::crash

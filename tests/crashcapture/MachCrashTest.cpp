// Real crashes of a child process caught as exceptions by the exception server: the faulting
// thread waits in the fault relay while the server thread forwards the exception to the ports
// registered before it, writes the report and answers "not handled", after which the child ends
// with the original signal.
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

#include "CrashScenarios.h"
#include "CrashTestSupport.h"
#include "ReportChecks.h"
#include "crashreporter/capture/TLCrashMachExceptionServer.h"
#include "support/ChildProcess.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

constexpr size_t kBlockedThreads = 3;

struct ExceptionKind {
  const char* name;
  void (*crash)();
  int signal;
  const char* signalName;
  const char* codeName;
  uint64_t exceptionType;
  const char* function;
};

void divideByZero() { crashcapture_divide(7, 0); }

const ExceptionKind kExceptionKinds[] = {
    {"NullRead", crashcapture_null_read, SIGSEGV, "SIGSEGV", "SEGV_MAPERR", 1, "crashcapture_null_read"},
    {"BusError", crashcapture_bus_error, SIGBUS, "SIGBUS", "BUS_ADRERR", 1, "crashcapture_bus_error"},
    {"IntegerDivide", divideByZero, SIGFPE, "SIGFPE", "FPE_INTDIV", 3, "crashcapture_divide"},
    {"IllegalInstruction", crashcapture_illegal_instruction, SIGILL, "SIGILL", "ILL_ILLOPN", 2,
     "crashcapture_illegal_instruction"},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ExceptionKind& kind, std::ostream* out) { *out << kind.name; }

class MachCrash : public CrashTest, public testing::WithParamInterface<ExceptionKind> {};

TEST_P(MachCrash, ServerThreadReportsTheFaultAndTheChildDiesOfItsSignal) {
  const ExceptionKind& kind = GetParam();
  ChildOutcome outcome = runInChild([&] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
    enableOrExit(reporter);
    startBlockedThreads(kBlockedThreads);
    kind.crash();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, kind.signal) << outcome.describe();

  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why << "\n" << outcome.describe();
  EXPECT_EQ(report->signalInfo().name(), kind.signalName);
  EXPECT_EQ(report->signalInfo().code(), kind.codeName);
  ASSERT_TRUE(report->machExceptionInfo().has_value());
  EXPECT_EQ(report->machExceptionInfo()->type(), kind.exceptionType);
  EXPECT_EQ(report->machExceptionInfo()->codes().size(), 2u);

  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr);
  ASSERT_FALSE(crashed->stackFrames().empty());
  EXPECT_EQ(symbolOf(crashed->stackFrames().front()), kind.function) << "the faulting instruction comes first";
  EXPECT_FALSE(crashed->registers().empty());

  // The main thread, the blocked threads and the server thread that wrote the report.
  EXPECT_EQ(report->threads().size(), kBlockedThreads + 2) << outcome.describe();
  for (const auto& thread : report->threads()) {
    EXPECT_FALSE(thread.stackFrames().empty()) << "thread " << thread.threadNumber() << " has no frames";
  }
  EXPECT_EQ(threadsWithFrameIn(*report, "crashcapture_blocked_thread_wait"), kBlockedThreads);
  EXPECT_TRUE(listsImage(*report, selfExecutable()));
}

INSTANTIATE_TEST_SUITE_P(EachKind, MachCrash, testing::ValuesIn(kExceptionKinds),
                         [](const testing::TestParamInfo<ExceptionKind>& param) { return std::string(param.param.name); });

TEST_F(CrashTest, AbortOnTheExceptionPathIsCaughtByTheSignalHandler) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
    enableOrExit(reporter);
    crashcapture_abort();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGABRT);
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  EXPECT_EQ(report->signalInfo().name(), "SIGABRT");
  EXPECT_FALSE(report->machExceptionInfo().has_value());
}

// A kill is no processor fault, so the exception server never sees it; the signal
// path still writes the report before the child dies of the signal.
TEST_F(CrashTest, FatalSignalSentByAnotherProcessIsReportedOnTheExceptionPath) {
  for (int signo : {SIGSEGV, SIGBUS}) {
    purgePendingReports();
    ChildOutcome outcome = runInChild([signo] {
      resetCrashSignals();
      TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
      enableOrExit(reporter);
      ::kill(::getpid(), signo);  // arrives as sent (SI_USER), as another process's kill does
      for (;;) ::pause();
    });
    ASSERT_TRUE(outcome.signaled) << outcome.describe();
    EXPECT_EQ(outcome.signal, signo);
    std::string why;
    auto report = readPendingReport(&why);
    ASSERT_TRUE(report.has_value()) << why << "\n" << outcome.describe();
    EXPECT_EQ(report->signalInfo().name(), signo == SIGSEGV ? "SIGSEGV" : "SIGBUS");
    EXPECT_FALSE(report->machExceptionInfo().has_value());
    EXPECT_NE(crashedThread(*report), nullptr);
  }
}

// The handler of a port registered before the reporter's.
mach::kern_return_t earlierHandler(tlcrash_task_t, tlcrash_thread_t, mach::exception_type_t type,
                                   const mach::mach_exception_data_type_t*, uint32_t, void* context) {
  static const char kLine[] = "earlier handler ran\n";
  ::write(2, kLine, sizeof(kLine) - 1);
  return type == *static_cast<const mach::exception_type_t*>(context) ? mach::KERN_SUCCESS : mach::KERN_FAILURE;
}

// Registers a server of its own for `mask` before the reporter comes; it handles `handled`.
void registerEarlierServer(mach::exception_mask_t mask, const mach::exception_type_t* handled) {
  auto server = TLCrashMachExceptionServer::initWithCallBack(earlierHandler, const_cast<mach::exception_type_t*>(handled));
  if (!server) ::_exit(93);
  auto port = server.value()->exceptionPortWithMask(mask);
  if (!port || !port.value().registerForTask(::getpid(), nullptr)) ::_exit(94);
  static std::shared_ptr<TLCrashMachExceptionServer> keep;  // lives for the child's life
  keep = server.value();
}

TEST_F(CrashTest, ExceptionHandledByAnEarlierPortLeavesNoReportAndTheThreadGoesOn) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    static const mach::exception_type_t kHandled = mach::EXC_BREAKPOINT;
    registerEarlierServer(mach::EXC_MASK_BREAKPOINT | mach::EXC_MASK_BAD_ACCESS, &kHandled);
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
    enableOrExit(reporter);
    crashcapture_breakpoint();  // handled: the thread goes on past the breakpoint
    static const char kLine[] = "went on after the breakpoint\n";
    ::write(2, kLine, sizeof(kLine) - 1);
    ::_exit(0);
  });
  ASSERT_TRUE(outcome.exited) << outcome.describe();
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_NE(outcome.err.find("earlier handler ran"), std::string::npos) << outcome.describe();
  EXPECT_NE(outcome.err.find("went on after the breakpoint"), std::string::npos) << outcome.describe();
  EXPECT_FALSE(pendingReportExists());
}

TEST_F(CrashTest, ExceptionRefusedByAnEarlierPortIsReported) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    static const mach::exception_type_t kHandled = mach::EXC_BREAKPOINT;
    registerEarlierServer(mach::EXC_MASK_BREAKPOINT | mach::EXC_MASK_BAD_ACCESS, &kHandled);
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
    enableOrExit(reporter);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_NE(outcome.err.find("earlier handler ran"), std::string::npos) << outcome.describe();
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  EXPECT_EQ(report->signalInfo().name(), "SIGSEGV");
}

TEST_F(CrashTest, FaultOnAThreadWithoutItsOwnStackIsReportedByTheServer) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeMach);
    enableOrExit(reporter);
    pthread_t thread;
    ::pthread_create(&thread, nullptr, [](void*) -> void* {
      crashcapture_null_read();
      return nullptr;
    }, nullptr);
    ::pthread_join(thread, nullptr);
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr);
  EXPECT_EQ(symbolOf(crashed->stackFrames().front()), "crashcapture_null_read");
  EXPECT_NE(&report->threads().front(), crashed) << "the main thread did not crash";
}

}  // namespace
}  // namespace ml::crash::test

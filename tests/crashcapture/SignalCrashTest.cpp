// Real crashes of a child process caught by the signal handlers: the report on disk names the
// signal, marks the crashed thread, walks every thread, finds the crashing function's symbol and
// lists the test binary; the child still ends with the signal it crashed with.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <execinfo.h>
#include <stdexcept>
#include <sys/stat.h>
#include <typeinfo>
#include <unistd.h>

#include "CrashScenarios.h"
#include "CrashTestSupport.h"
#include "ReportChecks.h"
#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"
#include "support/ChildProcess.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

constexpr size_t kBlockedThreads = 4;

struct CrashKind {
  const char* name;
  void (*crash)();
  int signal;
  const char* signalName;
  const char* codeName;
  const char* function;  // the function the crashed thread must show
};

void divideByZero() { crashcapture_divide(1, 0); }
void overflowTheStack() { crashcapture_overflow(0); }

const CrashKind kCrashKinds[] = {
    {"NullRead", crashcapture_null_read, SIGSEGV, "SIGSEGV", "SEGV_MAPERR", "crashcapture_null_read"},
    {"BusError", crashcapture_bus_error, SIGBUS, "SIGBUS", "BUS_ADRERR", "crashcapture_bus_error"},
    {"IntegerDivide", divideByZero, SIGFPE, "SIGFPE", "FPE_INTDIV", "crashcapture_divide"},
    {"Abort", crashcapture_abort, SIGABRT, "SIGABRT", "SI_TKILL", "crashcapture_abort"},
    {"IllegalInstruction", crashcapture_illegal_instruction, SIGILL, "SIGILL", "ILL_ILLOPN",
     "crashcapture_illegal_instruction"},
    {"Breakpoint", crashcapture_breakpoint, SIGTRAP, "SIGTRAP", "SI_KERNEL", "crashcapture_breakpoint"},
    {"StackOverflow", overflowTheStack, SIGSEGV, "SIGSEGV", "SEGV_MAPERR", "crashcapture_overflow"},
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const CrashKind& kind, std::ostream* out) { *out << kind.name; }

class SignalCrash : public CrashTest, public testing::WithParamInterface<CrashKind> {};

TEST_P(SignalCrash, ReportNamesTheSignalAndWalksEveryThread) {
  const CrashKind& kind = GetParam();
  ChildOutcome outcome = runInChild([&] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    startBlockedThreads(kBlockedThreads);
    kind.crash();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, kind.signal) << outcome.describe();

  std::string why;
  std::optional<TLCrashReport> report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why << "\n" << outcome.describe();
  EXPECT_EQ(report->signalInfo().name(), kind.signalName);
  EXPECT_EQ(report->signalInfo().code(), kind.codeName);
  EXPECT_FALSE(report->machExceptionInfo().has_value());
  EXPECT_EQ(report->applicationInfo().applicationIdentifier(), kTestAppIdentifier);

  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr) << "exactly one thread is marked crashed";
  ASSERT_FALSE(crashed->stackFrames().empty());
  EXPECT_TRUE(hasFrameIn(*crashed, kind.function)) << "first frame: " << symbolOf(crashed->stackFrames()[0]);
  EXPECT_FALSE(crashed->registers().empty());

  EXPECT_EQ(report->threads().size(), kBlockedThreads + 1) << outcome.describe();
  for (const auto& thread : report->threads()) {
    EXPECT_FALSE(thread.stackFrames().empty()) << "thread " << thread.threadNumber() << " has no frames";
  }
  EXPECT_EQ(threadsWithFrameIn(*report, "crashcapture_blocked_thread_wait"), kBlockedThreads);
  EXPECT_TRUE(listsImage(*report, selfExecutable()));
}

INSTANTIATE_TEST_SUITE_P(EachKind, SignalCrash, testing::ValuesIn(kCrashKinds),
                         [](const testing::TestParamInfo<CrashKind>& param) { return std::string(param.param.name); });

TEST_F(CrashTest, NullReadReportCarriesTheFaultAddressAndTheFaultingPc) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  EXPECT_EQ(report->signalInfo().address(), 0u);
  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr);
  const auto& top = crashed->stackFrames().front();
  EXPECT_EQ(symbolOf(top), "crashcapture_null_read");
  uint64_t rip = 0;
  for (const auto& reg : crashed->registers()) {
    if (reg.registerName() == "rip") rip = reg.registerValue();
  }
  EXPECT_EQ(rip, top.instructionPointer()) << "the innermost frame is the faulting instruction";
}

TEST_F(CrashTest, StackOverflowReportIsCutAtTheFrameLimit) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    crashcapture_overflow(0);
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr);
  EXPECT_EQ(crashed->stackFrames().size(), 512u);
  EXPECT_NE(outcome.err.find("Terminated stack walking early"), std::string::npos);
}

// The terminate handler the C++ exception capture installs, reduced to what the hook needs.
[[noreturn]] void handToUncaughtExceptionHandler() {
  TLUncaughtException exception;
  exception.name = "std::runtime_error";
  try {
    std::rethrow_exception(std::current_exception());
  } catch (const std::exception& e) {
    exception.reason = e.what();
  }
  void* frames[16];
  int count = ::backtrace(frames, 16);
  for (int i = 0; i < count; ++i) exception.callStackReturnAddresses.push_back(reinterpret_cast<uintptr_t>(frames[i]));
  if (TLUncaughtExceptionHandler handler = tl_get_uncaught_exception_handler(); handler != nullptr) handler(exception);
  ::_exit(92);  // the hook did not end the process
}

__attribute__((noinline)) void throwUncaught() { throw std::runtime_error("nobody catches this"); }

TEST_F(CrashTest, UncaughtExceptionIsRecordedInTheAbortReport) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    std::set_terminate(handToUncaughtExceptionHandler);
    throwUncaught();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGABRT);
  std::string why;
  auto report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why;
  EXPECT_EQ(report->signalInfo().name(), "SIGABRT");
  ASSERT_TRUE(report->hasExceptionInfo());
  EXPECT_EQ(report->exceptionInfo()->exceptionName(), "std::runtime_error");
  EXPECT_EQ(report->exceptionInfo()->exceptionReason(), "nobody catches this");
  ASSERT_TRUE(report->exceptionInfo()->stackFrames().has_value());
  EXPECT_GE(report->exceptionInfo()->stackFrames()->size(), 3u);
}

TEST_F(CrashTest, UncaughtExceptionHookIsLeftOutWhenNotConfigured) {
  ChildOutcome outcome = runInChild([] {
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD,
                                            TLCrashReporterSymbolicationStrategySymbolTable, false);
    enableOrExit(reporter);
    ::_exit(tl_get_uncaught_exception_handler() == nullptr ? 0 : 1);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

// A handler installed before the reporter that recovers from the fault: were it asked, the
// process would live on with a report of a crash that never ended it.
void recoveringHandler(int, siginfo_t*, void*) {
  static const char kLine[] = "previous handler ran\n";
  ::write(2, kLine, sizeof(kLine) - 1);
  ::_exit(93);
}

TEST_F(CrashTest, ChainEndsAtTheReporterSoTheChildDiesOfTheSignalWithItsReport) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    struct sigaction previous{};
    previous.sa_sigaction = recoveringHandler;
    previous.sa_flags = SA_SIGINFO;
    sigemptyset(&previous.sa_mask);
    ::sigaction(SIGSEGV, &previous, nullptr);
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.err.find("previous handler ran"), std::string::npos) << outcome.describe();
  EXPECT_TRUE(pendingReportExists());
}

void postCrash(siginfo_t* info, ucontext_t*, void* context) {
  char line[64] = "post-crash callback ";
  line[20] = static_cast<char>('0' + info->si_signo / 10);
  line[21] = static_cast<char>('0' + info->si_signo % 10);
  line[22] = ' ';
  line[23] = *static_cast<const char*>(context);
  line[24] = '\n';
  ::write(2, line, 25);
}

TEST_F(CrashTest, PostCrashCallbackRunsAfterASuccessfulWrite) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    static const char kMark = 'x';
    TLCrashReporterCallbacks callbacks;
    callbacks.context = const_cast<char*>(&kMark);
    callbacks.handleSignal = postCrash;
    reporter.setCrashCallbacks(callbacks);
    enableOrExit(reporter);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_NE(outcome.err.find("post-crash callback 11 x"), std::string::npos) << outcome.describe();
}

TEST_F(CrashTest, ReportThatCannotBeOpenedSkipsThePostCrashCallback) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    static const char kMark = 'x';
    TLCrashReporterCallbacks callbacks;
    callbacks.context = const_cast<char*>(&kMark);
    callbacks.handleSignal = postCrash;
    reporter.setCrashCallbacks(callbacks);
    enableOrExit(reporter);
    // The program closes every descriptor it did not open itself (as daemons do), so the crash
    // path falls back to a named partial file, and a folder stands at its name: the open fails
    // even for a privileged user.
    ::close_range(3, ~0U, 0);
    ::mkdir(reporter.ownPartialCrashReportPath().c_str(), 0755);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_NE(outcome.err.find("Could not open the crashlog output file: Is a directory"), std::string::npos)
      << outcome.describe();
  EXPECT_EQ(outcome.err.find("post-crash callback"), std::string::npos) << outcome.describe();
}

TEST_F(CrashTest, ReportThatCannotBeMovedIntoPlaceLeavesNoPartialFile) {
  const std::string folder = makeReporter(TLCrashReporterSignalHandlerTypeBSD).crashReportDirectory();
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    TLCrashReporterCallbacks callbacks;
    callbacks.handleSignal = postCrash;
    reporter.setCrashCallbacks(callbacks);
    enableOrExit(reporter);
    ::mkdir(reporter.ownCrashReportPath().c_str(), 0755);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_NE(outcome.err.find("Could not move the crash report into place: File exists"), std::string::npos)
      << outcome.describe();
  EXPECT_EQ(outcome.err.find("post-crash callback"), std::string::npos) << outcome.describe();
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    EXPECT_FALSE(tlcrash_nasync_is_partial_report_file_name(entry.path().filename().string())) << entry.path();
  }
  EXPECT_FALSE(pendingReportExists());
}

}  // namespace
}  // namespace ml::crash::test

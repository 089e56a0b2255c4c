// The crash path must fit the alternate signal stack it runs on: writing a report with symbols
// for several threads, measured by painting the stack before the crash and looking for the
// deepest byte that changed once the report is written.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "CrashScenarios.h"
#include "CrashTestSupport.h"
#include "crashreporter/AsyncFormat.h"
#include "crashreporter/capture/TLCrashSignalHandler.h"
#include "support/ChildProcess.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

constexpr uint8_t kPaint = 0xA5;
// Room the crash path must leave unused at the far end of the stack.
constexpr size_t kRequiredSpare = 8 * 1024;

stack_t g_stack{};

// Runs on the alternate stack after the report was written. Async-signal-safe.
void measure(siginfo_t*, ucontext_t*, void*) {
  const auto* bottom = static_cast<const uint8_t*>(g_stack.ss_sp);
  size_t untouched = 0;
  while (untouched < g_stack.ss_size && bottom[untouched] == kPaint) ++untouched;
  char line[64];
  size_t length = tlcrash_async_format(line, sizeof(line), "alternate stack used: %zu of %zu\n",
                                       g_stack.ss_size - untouched, g_stack.ss_size);
  ::write(2, line, length);
}

TEST_F(CrashTest, ReportWritingFitsTheAlternateStack) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD,
                                            TLCrashReporterSymbolicationStrategyAll);
    TLCrashReporterCallbacks callbacks;
    callbacks.handleSignal = measure;
    reporter.setCrashCallbacks(callbacks);
    enableOrExit(reporter);
    startBlockedThreads(4);
    ::sigaltstack(nullptr, &g_stack);
    std::memset(g_stack.ss_sp, kPaint, g_stack.ss_size);
    crashcapture_null_read();
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  size_t used = 0;
  size_t size = 0;
  const size_t at = outcome.err.find("alternate stack used: ");
  ASSERT_NE(at, std::string::npos) << outcome.describe();
  ASSERT_EQ(std::sscanf(outcome.err.c_str() + at, "alternate stack used: %zu of %zu", &used, &size), 2);
  EXPECT_EQ(size, kAlternateStackSize);
  RecordProperty("alternate_stack_bytes_used", static_cast<int>(used));
  std::printf("the crash path used %zu of %zu bytes of the alternate stack\n", used, size);
  EXPECT_LE(used + kRequiredSpare, size);
}

}  // namespace
}  // namespace ml::crash::test

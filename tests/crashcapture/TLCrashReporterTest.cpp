// The reporter's front: configuration, identity, where reports live, the pending report of the
// last run, enabling once per process, and reports of the running process on demand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CrashScenarios.h"
#include "CrashTestSupport.h"
#include "ReportChecks.h"
#include "crashreporter/CrashReport.h"
#include "crashreporter/capture/ReporterLog.h"
#include "crashreporter/capture/TLCrashReporter.h"
#include "support/ChildProcess.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::runInChild;

namespace fs = std::filesystem;

TEST(TLCrashReporterConfig, DefaultsAreSignalHandlersWithoutSymbolsWithTheExceptionHook) {
  TLCrashReporterConfig config;
  EXPECT_EQ(config.signalHandlerType(), TLCrashReporterSignalHandlerTypeBSD);
  EXPECT_EQ(config.symbolicationStrategy(), TLCrashReporterSymbolicationStrategyNone);
  EXPECT_TRUE(config.shouldRegisterUncaughtExceptionHandler());
  TLCrashReporterConfig two(1, 3);
  EXPECT_TRUE(two.shouldRegisterUncaughtExceptionHandler());
  TLCrashReporterConfig three(1, 3, false);
  EXPECT_FALSE(three.shouldRegisterUncaughtExceptionHandler());
}

TEST(TLCrashReporterConfig, SymbolicationStrategyKeepsItsTwoLowBits) {
  EXPECT_EQ(TLCrashReporter::mapToAsyncSymbolicationStrategy(0), 0u);
  EXPECT_EQ(TLCrashReporter::mapToAsyncSymbolicationStrategy(1), 1u);
  EXPECT_EQ(TLCrashReporter::mapToAsyncSymbolicationStrategy(3), 3u);
  EXPECT_EQ(TLCrashReporter::mapToAsyncSymbolicationStrategy(0xFF), 3u);
  EXPECT_EQ(TLCrashReporter::mapToAsyncSymbolicationStrategy(4), 0u);
}

TEST(TLCrashReporterConfig, ExceptionMaskAddsGuardExceptionsFromKernelThirteen) {
  EXPECT_EQ(TLCrashReporter::exceptionServerMask(TLCrashHostInfo::fromRelease("12.6.0")), 0x6Eu);
  EXPECT_EQ(TLCrashReporter::exceptionServerMask(TLCrashHostInfo::fromRelease("13.0.0")), 0x106Eu);
  EXPECT_EQ(TLCrashReporter::exceptionServerMask(std::nullopt), 0x6Eu);
}

class TLCrashReporterFront : public CrashTest {};

TEST_F(TLCrashReporterFront, ReportFolderIsUnderTheCacheFolderWithSlashesReplaced) {
  TLCrashReporter reporter("org.example/tool/x", "1", std::nullopt, TLCrashReporterConfig());
  const fs::path expected = sandbox_->root() / "XDG_CACHE_HOME" / "org.marrowlane.Marrowlane" /
                            kCrashReporterFolderName / "org.example_tool_x";
  EXPECT_EQ(reporter.crashReportDirectory(), expected.string());
  EXPECT_EQ(reporter.crashReportPath(), (expected / "live_report.tlcrash").string());
  EXPECT_EQ(reporter.queuedCrashReportDirectory(), (expected / "queued_reports").string());
}

TEST_F(TLCrashReporterFront, IdentityComesFromTheBundleWithFallbacks) {
  std::vector<std::string> lines;
  tlcrash_nasync_log_set_sink([&](const std::string& line) { lines.push_back(line); });

  TLCrashBundle full{"org.example.App", "42", "4.2"};
  TLCrashReporter complete(full, TLCrashReporterConfig());
  EXPECT_EQ(complete.applicationIdentifier(), "org.example.App");
  EXPECT_EQ(complete.applicationVersion(), "42");
  EXPECT_EQ(complete.applicationMarketingVersion(), "4.2");
  EXPECT_TRUE(lines.empty());

  TLCrashBundle bare;
  TLCrashReporter fallback(bare, TLCrashReporterConfig());
  EXPECT_EQ(fallback.applicationIdentifier(), program_invocation_short_name);
  EXPECT_EQ(fallback.applicationVersion(), "");
  EXPECT_FALSE(fallback.applicationMarketingVersion().has_value());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string("[TLCrashReporter] Warning -- bundle identifier, using process name ") +
                          program_invocation_short_name);
  EXPECT_EQ(lines[1], "[TLCrashReporter] Warning -- bundle version unavailable");
  tlcrash_nasync_log_set_sink({});

  TLCrashReporter main_bundle;
  EXPECT_EQ(main_bundle.applicationIdentifier(), "org.marrowlane.Marrowlane");
}

TEST_F(TLCrashReporterFront, PopulatingMakesBothFoldersWithMode0755) {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  ASSERT_TRUE(reporter.populateCrashReportDirectory().ok());
  for (const std::string& folder : {reporter.crashReportDirectory(), reporter.queuedCrashReportDirectory()}) {
    struct stat info{};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0) << folder;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
  }
  EXPECT_TRUE(reporter.populateCrashReportDirectory().ok()) << "existing folders are fine";
}

// Whatever stands where the reports go is moved aside, kept, with one warning each, and the next
// crash is reported: a file in place of the report folder or of its queued folder, a folder in
// place of the report file.
TEST_F(TLCrashReporterFront, ObstaclesAreMovedAsideAndTheNextCrashIsReported) {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  const fs::path folder = reporter.crashReportDirectory();
  fs::create_directories(folder.parent_path());
  std::ofstream(folder) << "not a folder";
  std::vector<std::string> warnings;
  tlcrash_nasync_log_set_sink([&](const std::string& line) { warnings.push_back(line); });
  EXPECT_TRUE(reporter.populateCrashReportDirectory().ok());
  tlcrash_nasync_log_set_sink({});
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_regular_file(folder.string() + ".moved-aside"));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(folder.string() + ".moved-aside"), std::string::npos) << warnings[0];

  fs::remove(reporter.queuedCrashReportDirectory());
  std::ofstream(reporter.queuedCrashReportDirectory()) << "not a folder";
  fs::create_directories(fs::path(reporter.crashReportPath()) / "kept");
  EXPECT_FALSE(reporter.hasPendingCrashReport()) << "a folder is no report";
  ChildOutcome outcome = runInChild([] {
    ::execl(CRASHCAPTURE_HELPER, CRASHCAPTURE_HELPER, "segv", "bsd", static_cast<char*>(nullptr));
    ::_exit(127);
  });
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  std::string why;
  EXPECT_TRUE(readPendingReport(&why).has_value()) << why << "\n" << outcome.describe();
  EXPECT_TRUE(fs::is_directory(reporter.queuedCrashReportDirectory()));
  EXPECT_TRUE(fs::is_regular_file(reporter.queuedCrashReportDirectory() + ".moved-aside"));
  EXPECT_TRUE(fs::is_directory(reporter.crashReportPath() + ".moved-aside/kept"));
}

TEST_F(TLCrashReporterFront, PendingReportIsCheckedLoadedAndPurged) {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  EXPECT_FALSE(reporter.hasPendingCrashReport());
  EXPECT_FALSE(reporter.loadPendingCrashReportData().ok());
  EXPECT_FALSE(reporter.purgePendingCrashReport().ok());

  ASSERT_TRUE(reporter.populateCrashReportDirectory().ok());
  std::ofstream(reporter.crashReportPath(), std::ios::binary) << "tlcrash\x01payload";
  EXPECT_TRUE(reporter.hasPendingCrashReport());
  auto data = reporter.loadPendingCrashReportData();
  ASSERT_TRUE(data.ok());
  EXPECT_EQ(std::string(data.value().begin(), data.value().end()), "tlcrash\x01payload");
  EXPECT_TRUE(reporter.purgePendingCrashReport().ok());
  EXPECT_FALSE(reporter.hasPendingCrashReport());
}

TEST_F(TLCrashReporterFront, CallbacksWithAnUnknownVersionAreRefused) {
  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  TLCrashReporterCallbacks callbacks;
  callbacks.version = 1;
  EXPECT_THROW(reporter.setCrashCallbacks(callbacks), TLCrashReporterException);
}

TEST_F(TLCrashReporterFront, SecondEnablingFailsWithCodeThreeEvenAfterAFailedFirst) {
  ChildOutcome outcome = runInChild([] {
    TLCrashReporter first = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    // The first attempt fails at the folder (a file in place of the caches folder, which is not
    // the reporter's to move)...
    const fs::path caches = fs::path(first.crashReportDirectory()).parent_path().parent_path();
    fs::remove_all(caches);
    std::ofstream(caches) << "in the way";
    auto failed = first.enableCrashReporter();
    if (failed.ok() || failed.error().code == TLCrashReporterErrorResourceBusy) ::_exit(10);
    fs::remove(caches);
    fs::create_directories(caches);
    // ...and still counts.
    TLCrashReporter second = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    auto again = second.enableCrashReporter();
    if (again.ok()) ::_exit(11);
    if (again.error().code != TLCrashReporterErrorResourceBusy) ::_exit(12);
    if (again.error().description != "A TLCrashReporter instance has already been enabled") ::_exit(13);
    if (first.enableCrashReporter().error().code != TLCrashReporterErrorResourceBusy) ::_exit(14);
    ::_exit(0);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

TEST_F(TLCrashReporterFront, SettingCallbacksAfterEnablingThrows) {
  ChildOutcome outcome = runInChild([] {
    TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
    enableOrExit(reporter);
    try {
      reporter.setCrashCallbacks(TLCrashReporterCallbacks{});
    } catch (const TLCrashReporterException& e) {
      ::_exit(std::string(e.what()) == "The crash reporter has alread been enabled" ? 0 : 21);
    }
    ::_exit(20);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

TEST_F(TLCrashReporterFront, UnknownHandlerTypeEnablesWithoutHandlers) {
  ChildOutcome outcome = runInChild([] {
    resetCrashSignals();
    TLCrashReporter reporter = makeReporter(7);
    enableOrExit(reporter);
    struct sigaction action{};
    ::sigaction(SIGSEGV, nullptr, &action);
    ::_exit(action.sa_handler == SIG_DFL && reporter.isEnabled() ? 0 : 30);
  });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.describe();
}

__attribute__((noinline)) Result<std::vector<uint8_t>> liveReportFromHere(TLCrashReporter& reporter) {
  auto result = reporter.generateLiveReport();
  asm volatile("" ::: "memory");
  return result;
}

TEST_F(TLCrashReporterFront, LiveReportListsEveryThreadOfTheRunningProcess) {
  constexpr int kThreads = 20;
  std::atomic<bool> done{false};
  std::atomic<int> started{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      started.fetch_add(1);
      while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
  }
  while (started.load() < kThreads) std::this_thread::yield();

  TLCrashReporter reporter = makeReporter(TLCrashReporterSignalHandlerTypeBSD);
  auto data = liveReportFromHere(reporter);
  done = true;
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(data.ok()) << data.error().description;

  auto report = TLCrashReport::initWithData(data.value());
  ASSERT_TRUE(report.ok()) << report.error().description;
  EXPECT_EQ(report.value().signalInfo().name(), "SIGTRAP");
  EXPECT_EQ(report.value().signalInfo().code(), "TRAP_TRACE");
  EXPECT_GE(report.value().threads().size(), static_cast<size_t>(kThreads + 1));
  size_t with_frames = 0;
  const TLCrashReportThreadInfo* crashed = nullptr;
  for (const auto& thread : report.value().threads()) {
    if (!thread.stackFrames().empty()) ++with_frames;
    if (thread.crashed()) crashed = &thread;
  }
  EXPECT_EQ(with_frames, report.value().threads().size());
  ASSERT_NE(crashed, nullptr) << "the calling thread is marked";
  bool in_caller = false;
  for (const auto& frame : crashed->stackFrames()) {
    if (frame.symbolInfo().has_value() &&
        frame.symbolInfo()->symbolName().find("liveReportFromHere") != std::string::npos) {
      in_caller = true;
    }
  }
  EXPECT_TRUE(in_caller) << "the calling thread is walked from where it asked";
}

}  // namespace
}  // namespace ml::crash::test

// The formatter: crash report -> crash log and error report.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "ReportBuilder.h"
#include "beacon/crashes/Util/TLErrorLogFormatter.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

using test::FrameSpec;
using test::ImageSpec;
using test::ReportSpec;
using test::ThreadSpec;
using F = TLErrorLogFormatter;

class TLErrorLogFormatterTest : public ::testing::Test {
 protected:
  void SetUp() override { TLWrapperExceptionManager::resetForTesting(); }
  ml::test::XdgSandbox sandbox_;
};

ReportSpec crashSpec() {
  ReportSpec spec;
  spec.images = {ImageSpec{0x400000, 0x10000, "/opt/Marrowlane.app/bin/marrowlane", {1, 2, 3}},
                 ImageSpec{0x7f0000000000, 0x1000, "/usr/lib/libc.so.6", {}}};
  spec.threads = {
      ThreadSpec{0, false, {FrameSpec{0x400010}}, {{"rip", 0x400010}}},
      ThreadSpec{1, true, {FrameSpec{0x7f0000000020, "_abort", 0x7f0000000010}, FrameSpec{0x400020}},
                 {{"rax", 0x1000}, {"rip", 0x7f0000000020}}},
  };
  return spec;
}

TEST_F(TLErrorLogFormatterTest, CrashLogCarriesProcessSignalAndIdentity) {
  auto report = test::buildReport(crashSpec());
  auto log = F::errorLogFromCrashReport(report);
  EXPECT_EQ(log->errorId, "DEADBEEF-0001-4203-8405-060708090AAB");
  EXPECT_EQ(log->processId, 4242);
  EXPECT_EQ(log->processName, "Marrowlane");
  EXPECT_EQ(log->parentProcessId, 1);
  EXPECT_EQ(log->parentProcessName, "launcher");
  EXPECT_EQ(log->applicationPath, "/opt/Marrowlane.app/bin/marrowlane");
  EXPECT_EQ(log->errorThreadId, 1);
  EXPECT_TRUE(log->fatal);
  EXPECT_EQ(log->osExceptionType, "SIGSEGV");
  EXPECT_EQ(log->osExceptionCode, "SEGV_MAPERR");
  EXPECT_EQ(log->osExceptionAddress, "0x10");
  EXPECT_EQ(log->primaryArchitectureId, 0x01000007);
  EXPECT_EQ(log->architectureVariantId, 3);
  EXPECT_FALSE(log->exceptionType);
  EXPECT_FALSE(log->selectorRegisterValue);
  EXPECT_TRUE(log->device());
  EXPECT_TRUE(log->isValid());
}

TEST_F(TLErrorLogFormatterTest, WholeSecondCrashTimeMovesToItsLastMillisecond) {
  auto log = F::errorLogFromCrashReport(test::buildReport(crashSpec()));
  using namespace std::chrono;
  EXPECT_EQ(log->timestamp()->time_since_epoch(), duration_cast<system_clock::duration>(milliseconds(1700000000999)));
  EXPECT_EQ(log->appLaunchTimestamp->time_since_epoch(), duration_cast<system_clock::duration>(seconds(1699999000)));
}

TEST_F(TLErrorLogFormatterTest, MissingProcessInfoLeavesDefaultsAndCrashTimeAsLaunch) {
  auto spec = crashSpec();
  spec.processInfo = false;
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  EXPECT_EQ(log->processId, 0);
  EXPECT_EQ(log->processName, "???");
  EXPECT_EQ(log->parentProcessName, "???");
  EXPECT_FALSE(log->parentProcessId);
  EXPECT_EQ(log->applicationPath, "???");
  using namespace std::chrono;
  EXPECT_EQ(log->appLaunchTimestamp->time_since_epoch(), duration_cast<system_clock::duration>(seconds(1700000000)));
}

TEST_F(TLErrorLogFormatterTest, ThreadsFramesAndRegisters) {
  ml::test::LogCapture capture;
  auto log = F::errorLogFromCrashReport(test::buildReport(crashSpec()));
  // ELF symbols carry no added underscore: a Linux report's names stand as they are, unwarned;
  // a report of a system without a known rule is warned about.
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Symbol prefix rules are unknown"), 0u);
  auto unknownSystem = crashSpec();
  unknownSystem.operatingSystem = 3;
  F::errorLogFromCrashReport(test::buildReport(unknownSystem));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Symbol prefix rules are unknown"), 1u);
  ASSERT_EQ(log->threads->size(), 2u);
  const auto& crashed = (*log->threads)[1];
  EXPECT_EQ(crashed->threadId, 1);
  ASSERT_EQ(crashed->frames->size(), 2u);
  EXPECT_EQ((*crashed->frames)[0]->address, "0x00007f0000000020");
  // A system library frame with a symbol: its name (prefix kept off macOS) and offset.
  EXPECT_EQ((*crashed->frames)[0]->code, "_abort + 16");
  // The application's own frame: image base and offset, even with a symbol.
  EXPECT_EQ((*crashed->frames)[1]->code, "0x400000 + 32");
  EXPECT_EQ(log->registers->at("rax"), "0x0000000000001000");
  EXPECT_EQ(log->registers->size(), 2u);
  EXPECT_FALSE(crashed->exception);
}

TEST_F(TLErrorLogFormatterTest, ExceptionGoesIntoTheCrashedThreadOnly) {
  auto spec = crashSpec();
  spec.exceptionName = "std::runtime_error";
  spec.exceptionReason = "boom";
  spec.exceptionFrames = {FrameSpec{0x400030}, FrameSpec{0x400040}};
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  EXPECT_EQ(log->exceptionType, "std::runtime_error");
  EXPECT_EQ(log->exceptionReason, "boom");
  EXPECT_FALSE((*log->threads)[0]->exception);
  const auto& exception = (*log->threads)[1]->exception;
  ASSERT_TRUE(exception);
  EXPECT_EQ(exception->type, "std::runtime_error");
  EXPECT_EQ(exception->message, "boom");
  ASSERT_EQ(exception->frames->size(), 2u);
  EXPECT_EQ((*exception->frames)[0]->address, "0x0000000000400030");
  EXPECT_FALSE((*exception->frames)[0]->code);
}

TEST_F(TLErrorLogFormatterTest, NoCrashedThreadGivesIdZeroAndNoRegisters) {
  auto spec = crashSpec();
  spec.threads[1].crashed = false;
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  EXPECT_EQ(log->errorThreadId, 0);
  EXPECT_TRUE(log->registers->empty());
}

TEST_F(TLErrorLogFormatterTest, LastMachImageGivesTheArchitecture) {
  auto spec = crashSpec();
  spec.images[0].cpuSubtype = 1;
  spec.images[1].cpuType = 12;
  spec.images[1].cpuSubtype = 9;
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  EXPECT_EQ(log->primaryArchitectureId, 12);
  EXPECT_EQ(log->architectureVariantId, 9);
}

TEST_F(TLErrorLogFormatterTest, BinariesKeepReferencedAndBundleImagesSorted) {
  auto spec = crashSpec();
  spec.images.push_back(ImageSpec{0x2000, 0, "/usr/lib/unused.so", {}});
  spec.images.push_back(ImageSpec{0x100, 0x10, "/usr/lib/first.so", {}});
  spec.threads[0].registers.push_back({"rbx", 0x108});
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  ASSERT_EQ(log->binaries->size(), 3u);
  const auto& first = *(*log->binaries)[0];
  EXPECT_EQ(first.name, "first.so");
  EXPECT_EQ(first.binaryId, "???");
  EXPECT_EQ(first.startAddress, "0x0000000000000100");
  EXPECT_EQ(first.endAddress, "0x000000000000010f");
  EXPECT_EQ((*log->binaries)[1]->binaryId, "010203");
  EXPECT_EQ((*log->binaries)[1]->primaryArchitectureId, 0x01000007);
  EXPECT_EQ((*log->binaries)[2]->path, "/usr/lib/libc.so.6");
}

TEST_F(TLErrorLogFormatterTest, ZeroSizedImageMatchesOnlyItsBase) {
  EXPECT_TRUE(F::isBinaryWithStart(0x2000, 0x2000, {0x2000}));
  EXPECT_FALSE(F::isBinaryWithStart(0x2000, 0x2000, {0x2001, 0x1fff}));
}

TEST_F(TLErrorLogFormatterTest, AddressTextWidthFollowsCodeType) {
  EXPECT_EQ(F::formatAddress(0x1000, true), "0x0000000000001000");
  EXPECT_EQ(F::formatAddress(0x1000, false), "0x00001000");
  EXPECT_EQ(F::formatAddress(0x123456789, false), "0x123456789");
  EXPECT_TRUE(F::isCodeType64bit(0x0100000C));
  EXPECT_FALSE(F::isCodeType64bit(7));
  EXPECT_FALSE(F::isCodeType64bit(std::nullopt));
}

TEST_F(TLErrorLogFormatterTest, CodeTypeFallsBackToReportArchitecture) {
  auto spec = crashSpec();
  for (auto& image : spec.images) image.machCodeType = false;
  spec.architecture = 0;
  EXPECT_EQ(F::extractCodeTypeFromReport(test::buildReport(spec)), 7u);
  spec.architecture = 4;
  EXPECT_EQ(F::extractCodeTypeFromReport(test::buildReport(spec)), std::nullopt);
}

TEST_F(TLErrorLogFormatterTest, FrameWithoutImageOrSymbol) {
  auto spec = crashSpec();
  spec.threads[0].frames = {FrameSpec{0x99}};
  auto log = F::errorLogFromCrashReport(test::buildReport(spec));
  EXPECT_EQ((*(*log->threads)[0]->frames)[0]->code, "0x0 + 0");
}

TEST_F(TLErrorLogFormatterTest, ImageTypes) {
  const std::string process = "/Applications/My.app/Contents/MacOS/My";
  EXPECT_EQ(F::imageTypeForImagePath(process, process), 0);
  EXPECT_EQ(F::imageTypeForImagePath("/Applications/My.app/Contents/Frameworks/F.framework/F", process), 1);
  EXPECT_EQ(F::imageTypeForImagePath("/Applications/My.app/Contents/Frameworks/libswiftCore.dylib", process), 2);
  EXPECT_EQ(F::imageTypeForImagePath("/usr/lib/libc.so.6", process), 2);
  EXPECT_EQ(F::imageTypeForImagePath(std::nullopt, process), 2);
  EXPECT_EQ(F::imageTypeForImagePath(process, std::nullopt), 2);
}

TEST_F(TLErrorLogFormatterTest, PathAnonymisation) {
  EXPECT_EQ(F::anonymizedPathFromPath("/Users/someone/Library/x"), "/Users/USER/Library/x");
  EXPECT_EQ(F::anonymizedPathFromPath("/Users/a/b/Users/c/d"), "/Users/USER/b/Users/USER/d");
  EXPECT_EQ(F::anonymizedPathFromPath("/Applications/My.app/Contents/MacOS/My"), "/Applications/My.app/Contents/MacOS/My");
  EXPECT_EQ(F::anonymizedPathFromPath("/Volumes/Users/x"), "");
  EXPECT_EQ(F::anonymizedPathFromPath(""), "");
  EXPECT_EQ(F::anonymizedPathFromPath("/home/alice/.local/bin/app"), "/home/USER/.local/bin/app");
  EXPECT_EQ(F::anonymizedPathFromPath("/Users/"), "/Users/");
}

TEST_F(TLErrorLogFormatterTest, ErrorReportFromLog) {
  auto log = F::errorLogFromCrashReport(test::buildReport(crashSpec()));
  auto report = F::errorReportFromLog(*log);
  EXPECT_EQ(report->incidentIdentifier(), log->errorId);
  EXPECT_EQ(report->signal(), "SIGSEGV");
  EXPECT_EQ(report->appProcessIdentifier(), 4242u);
  EXPECT_EQ(report->appErrorTime(), log->timestamp());
  EXPECT_EQ(report->appStartTime(), log->appLaunchTimestamp);
  ASSERT_TRUE(report->reporterKey());
  EXPECT_TRUE(report->device());
  EXPECT_FALSE(F::errorReportFromCrashReport(nullptr));
}

TEST_F(TLErrorLogFormatterTest, ReportWithoutUuidGetsARandomErrorId) {
  auto spec = crashSpec();
  spec.uuid.reset();
  auto report = test::buildReport(spec);
  auto a = F::errorLogFromCrashReport(report);
  auto b = F::errorLogFromCrashReport(report);
  ASSERT_TRUE(a->errorId && b->errorId);
  EXPECT_EQ(a->errorId->size(), 36u);
  EXPECT_NE(*a->errorId, *b->errorId);
}

TEST_F(TLErrorLogFormatterTest, StoredWrapperExceptionBecomesTheLogsException) {
  TLWrapperException wrapper;
  wrapper.processId = 4242;
  wrapper.modelException = std::make_shared<TLException>();
  wrapper.modelException->type = "Managed";
  TLWrapperExceptionManager::saveWrapperException(wrapper, "DEADBEEF-0001-4203-8405-060708090AAB");
  auto log = F::errorLogFromCrashReport(test::buildReport(crashSpec()));
  ASSERT_TRUE(log->exception);
  EXPECT_EQ(log->exception->type, "Managed");
}

}  // namespace
}  // namespace ml::beacon

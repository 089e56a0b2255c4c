#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

#include "crashreporter/HostInfo.h"
#include "crashreporter/LogWriterContext.h"
#include "crashreporter/MachineFacts.h"
#include "crashreporter/ProcessInfo.h"
#include "crashreporter/Sysctl.h"

namespace ml::crash {
namespace {

size_t validPrefix(const std::vector<uint8_t>& bytes) {
  return tlcrash_sysctl_valid_utf8_bytes_max(bytes.data(), bytes.size());
}

TEST(ValidUtf8, ByteOrderMarkCountsAndIncompleteSequencesStopBeforeTheirLead) {
  EXPECT_EQ(validPrefix({0xEF, 0xBB, 0xBF, 'a', 'b', 'c'}), 6u);
  EXPECT_EQ(validPrefix({0x61, 0xC3}), 1u);
  EXPECT_EQ(validPrefix({0xC3, 0x28}), 0u);
  EXPECT_EQ(validPrefix({0x61, 0xC3, 0xA9, 0x62}), 4u);
  EXPECT_EQ(validPrefix({0xF0, 0x9F, 0x98, 0x80}), 4u);
  EXPECT_EQ(validPrefix({0x61, 0xFF}), 1u);
  EXPECT_EQ(validPrefix({0x61, 0xE2, 0x82, 0x00}), 1u);  // a NUL is no continuation byte
  EXPECT_EQ(validPrefix({'a', 0, 'b'}), 1u);
  EXPECT_EQ(tlcrash_sysctl_valid_utf8_bytes(reinterpret_cast<const uint8_t*>("plain")), 5u);
}

TEST(ValidUtf8, MaximumCutsAMultiByteCharacter) {
  std::vector<uint8_t> name(15, 'a');
  name.push_back(0xC3);
  name.push_back(0xA9);
  EXPECT_EQ(tlcrash_sysctl_valid_utf8_bytes_max(name.data(), 16), 15u);
  std::vector<uint8_t> ascii(16, 'b');
  EXPECT_EQ(tlcrash_sysctl_valid_utf8_bytes_max(ascii.data(), 16), 16u);
}

TEST(Sysctl, ReadsKernelValuesByDottedName) {
  auto release = tlcrash_sysctl_string("kernel.osrelease");
  ASSERT_TRUE(release.has_value());
  EXPECT_FALSE(release->empty());
  EXPECT_EQ(release->find('\n'), std::string::npos);
  int32_t pidMax = 0;
  EXPECT_TRUE(tlcrash_sysctl_int("kernel.pid_max", &pidMax));
  EXPECT_GT(pidMax, 0);
  EXPECT_FALSE(tlcrash_sysctl_int("kernel.osrelease", &pidMax));  // not a number
}

TEST(Sysctl, RefusesNamesThatLeaveTheTree) {
  for (const char* name : {"", "..", "kernel..osrelease", "kernel/osrelease", ".kernel", "kernel.", "..passwd"}) {
    errno = 0;
    EXPECT_FALSE(tlcrash_sysctl_string(name).has_value()) << name;
    EXPECT_EQ(errno, EINVAL) << name;
  }
  EXPECT_FALSE(tlcrash_sysctl_string("kernel.no_such_value").has_value());
}

TEST(HostInfo, ParsesReleaseTexts) {
  std::vector<std::string> warnings;
  auto log = [&](const std::string& line) { warnings.push_back(line); };
  EXPECT_EQ(TLCrashHostInfo::fromRelease("13.4.0", log).kernelVersion(), (TLCrashHostInfoVersion{13, 4, 0}));
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(TLCrashHostInfo::fromRelease("6.1.0-18-amd64", log).kernelVersion(), (TLCrashHostInfoVersion{6, 1, 0}));
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(TLCrashHostInfo::fromRelease("13.4", log).kernelVersion(), (TLCrashHostInfoVersion{13, 4, 0}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "Unexpected kernel.osrelease string format: 13.4");
  EXPECT_EQ(TLCrashHostInfo::fromRelease("v6.1", log).kernelVersion(), (TLCrashHostInfoVersion{0, 0, 0}));
  EXPECT_EQ(warnings.size(), 2u);
  EXPECT_EQ(TLCrashHostInfo::fromRelease("99999999999999999999999.1.1", log).kernelVersion().major, 0u);
}

TEST(HostInfo, CurrentHostHasAVersion) {
  auto host = TLCrashHostInfo::currentHostInfo([](const std::string&) {});
  ASSERT_TRUE(host.has_value());
  EXPECT_GT(host->kernelVersion().major, 0u);
}

TEST(ProcessInfo, ParsesStatWithHostileCommandName) {
  // A name may hold spaces and parentheses; only the last ')' ends it.
  std::string stat = "42 (a) 1 2 (b) S 7 42 42 0 -1 4194304 100 0 0 0 1 2 0 0 20 0 1 0 250 1000 100\n";
  auto info = TLCrashProcessInfo::fromProcText(42, stat, "Name:\tx\nTracerPid:\t0\n", 1000, 100);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->processName(), "a) 1 2 (b");
  EXPECT_EQ(info->parentProcessID(), 7);
  EXPECT_EQ(info->startTime().seconds, 1002);
  EXPECT_EQ(info->startTime().microseconds, 500000);
  EXPECT_FALSE(info->isTraced());
}

TEST(ProcessInfo, TracedWhenATracerIsAttached) {
  std::string stat = "5 (x) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0";
  auto info = TLCrashProcessInfo::fromProcText(5, stat, "TracerPid:\t99\n", 0, 100);
  ASSERT_TRUE(info.has_value());
  EXPECT_TRUE(info->isTraced());
}

TEST(ProcessInfo, CommandNameKeepsItsValidUtf8Prefix) {
  std::string stat = "5 (\xC3\x28rest) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0";
  auto info = TLCrashProcessInfo::fromProcText(5, stat, "", 0, 100);
  ASSERT_TRUE(info.has_value());
  EXPECT_FALSE(info->processName().has_value());

  std::string longName = "5 (" + std::string(15, 'n') + "\xC3\xA9) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0";
  info = TLCrashProcessInfo::fromProcText(5, longName, "", 0, 100);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->processName(), std::string(15, 'n'));
}

TEST(ProcessInfo, MalformedStatIsRefused) {
  EXPECT_FALSE(TLCrashProcessInfo::fromProcText(1, "", "", 0, 100).has_value());
  EXPECT_FALSE(TLCrashProcessInfo::fromProcText(1, "1 (x) S 1 2", "", 0, 100).has_value());
  EXPECT_FALSE(TLCrashProcessInfo::fromProcText(1, "1 )x( S", "", 0, 100).has_value());
  std::string badParent = "5 (x) S -z 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0";
  EXPECT_FALSE(TLCrashProcessInfo::fromProcText(5, badParent, "", 0, 100).has_value());
  std::string stat = "5 (x) S 1 5 5 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 0 0 0";
  EXPECT_FALSE(TLCrashProcessInfo::fromProcText(5, stat, "", 0, 0).has_value());
}

TEST(ProcessInfo, CurrentProcessAndMissingProcess) {
  auto self = TLCrashProcessInfo::currentProcessInfo();
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->processID(), ::getpid());
  EXPECT_EQ(self->parentProcessID(), ::getppid());
  EXPECT_GT(self->startTime().seconds, 0);
  EXPECT_FALSE(TLCrashProcessInfo::forProcessID(INT_MAX).has_value());
  EXPECT_FALSE(TLCrashProcessInfo::forProcessID(-1).has_value());
}

TEST(LogWriterContext, InitGathersTheFactsOfThisProcess) {
  tlcrash_log_writer writer;
  ASSERT_EQ(tlcrash_log_writer_init(&writer, "org.marrowlane.test", "7", std::nullopt, 0, false), TLCRASH_ESUCCESS);
  EXPECT_EQ(writer.app_identifier, "org.marrowlane.test");
  EXPECT_EQ(writer.app_version, "7");
  EXPECT_FALSE(writer.app_marketing_version.has_value());
  EXPECT_EQ(writer.process_id, static_cast<uint32_t>(::getpid()));
  EXPECT_EQ(writer.parent_process_id, static_cast<uint32_t>(::getppid()));
  ASSERT_TRUE(writer.process_path.has_value());
  EXPECT_EQ(writer.process_path, MachineFacts::executablePath());
  EXPECT_EQ(writer.cpu_type, 0x01000007);
  EXPECT_EQ(writer.cpu_subtype, 3);
  EXPECT_GT(writer.logical_cpu_count, 0u);
  EXPECT_NE(writer.os_version, "0.0.0");
  EXPECT_TRUE(writer.native);
  EXPECT_EQ(writer.uuid[6] >> 4, 4);  // version 4
  EXPECT_EQ(writer.uuid[8] & 0xC0, 0x80);

  tlcrash_log_writer other;
  tlcrash_log_writer_init(&other, "x", "y", "z", 1, true);
  EXPECT_NE(writer.uuid, other.uuid);
  EXPECT_EQ(other.app_marketing_version, "z");
  EXPECT_EQ(other.symbol_strategy, 1u);
  EXPECT_TRUE(other.user_requested);
  tlcrash_log_writer_free(&other);
  EXPECT_TRUE(other.app_identifier.empty());
}

TEST(LogWriterContext, ExceptionWithoutNameOrReasonIsRecordedEmpty) {
  tlcrash_log_writer writer;
  uint64_t addresses[] = {1, 2, 3};
  tlcrash_log_writer_set_exception(&writer, nullptr, nullptr, addresses);
  EXPECT_TRUE(writer.uncaught_exception.has_exception);
  EXPECT_EQ(writer.uncaught_exception.name, "");
  EXPECT_EQ(writer.uncaught_exception.reason, "");
  EXPECT_EQ(writer.uncaught_exception.return_addresses, (std::vector<uint64_t>{1, 2, 3}));
}

TEST(LogWriterContextDeathTest, SecondExceptionIsAProgrammingError) {
  tlcrash_log_writer writer;
  tlcrash_log_writer_set_exception(&writer, "first", "reason", {});
  EXPECT_DEATH(tlcrash_log_writer_set_exception(&writer, "second", "reason", {}), "already recorded");
}

TEST(ReportUuid, CanonicalUpperCaseForm) {
  ReportUuid uuid{};
  for (size_t i = 0; i < uuid.size(); ++i) uuid[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(uuidString(uuid), "00112233-4455-6677-8899-AABBCCDDEEFF");
  auto clock = makeClockUuid();
  EXPECT_EQ(clock[6] >> 4, 4);
}

}  // namespace
}  // namespace ml::crash

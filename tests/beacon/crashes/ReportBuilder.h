#pragma once
// Builds crash report files from a plain description, for the formatter and service tests.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crashreporter/CrashReport.h"

namespace ml::beacon::test {

struct FrameSpec {
  uint64_t pc = 0;
  std::optional<std::string> symbol;  // named symbol starting at symbolStart
  uint64_t symbolStart = 0;
};

struct ThreadSpec {
  uint32_t number = 0;
  bool crashed = false;
  std::vector<FrameSpec> frames;
  std::vector<std::pair<std::string, uint64_t>> registers;
};

struct ImageSpec {
  uint64_t base = 0;
  uint64_t size = 0;
  std::string name;
  std::vector<uint8_t> uuid;
  bool machCodeType = true;  // false: the image has no code type
  uint64_t cpuType = 0x01000007;
  uint64_t cpuSubtype = 3;
};

struct ReportSpec {
  int32_t operatingSystem = 5;  // Linux
  int32_t architecture = 1;     // x86-64
  int64_t timestamp = 1700000000;
  std::optional<std::vector<uint8_t>> uuid = std::vector<uint8_t>{0xde, 0xad, 0xbe, 0xef, 0, 1, 0x42, 3,
                                                                  0x84, 5, 6, 7, 8, 9, 10, 0xab};
  bool processInfo = true;
  std::optional<std::string> processName = "Marrowlane";
  uint32_t processId = 4242;
  std::optional<std::string> processPath = "/opt/Marrowlane.app/bin/marrowlane";
  std::optional<std::string> parentProcessName = "launcher";
  uint32_t parentProcessId = 1;
  std::optional<uint64_t> startTime = 1699999000;
  std::string signalName = "SIGSEGV";
  std::string signalCode = "SEGV_MAPERR";
  uint64_t signalAddress = 0x10;
  std::optional<std::string> exceptionName;
  std::string exceptionReason;
  std::vector<FrameSpec> exceptionFrames;
  std::vector<ThreadSpec> threads;
  std::vector<ImageSpec> images;
};

std::vector<uint8_t> reportBytes(const ReportSpec& spec);
crash::TLCrashReport buildReport(const ReportSpec& spec);

}  // namespace ml::beacon::test

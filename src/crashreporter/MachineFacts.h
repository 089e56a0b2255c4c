#pragma once
// Facts about the machine and the running executable that the crash report carries, read from
// /sys, /proc and sysconf when the reporter is enabled (never at crash time). Each reader answers
// nullopt with errno set when its source cannot be read.
#include <cstdint>
#include <optional>
#include <string>

namespace ml::crash {

// Processor type and subtype keep the Mach numbering so reports read the same everywhere:
// x86-64 is type 0x01000007 with subtype 3 (all x86-64 processors).
inline constexpr int32_t kCpuTypeX86_64 = 0x01000007;
inline constexpr int32_t kCpuSubtypeX86_64All = 3;

struct MachineFacts {
  // The product name the firmware reports ("/sys/devices/virtual/dmi/id/product_name").
  static std::optional<std::string> model();
  // Physical cores: distinct (package, core) pairs of the configured processors.
  static std::optional<uint32_t> physicalProcessorCount();
  // Configured logical processors.
  static std::optional<uint32_t> logicalProcessorCount();
  // Full path of the running executable (/proc/self/exe).
  static std::optional<std::string> executablePath();
  // The kernel release ("6.1.0-18-amd64") and build ("#1 SMP PREEMPT_DYNAMIC ...") from uname.
  static std::optional<std::string> kernelRelease();
  static std::optional<std::string> kernelBuild();
};

}  // namespace ml::crash

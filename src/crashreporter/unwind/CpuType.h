#pragma once
// CPU type numbers as loaded images and crash reports carry them (Mach numbering, kept on every
// platform so that reports read the same everywhere).
#include <cstdint>

namespace ml::crash {

inline constexpr uint32_t kTLCrashCpuArch64 = 0x01000000;
inline constexpr uint32_t kTLCrashCpuTypeX86 = 7;
inline constexpr uint32_t kTLCrashCpuTypeX86_64 = kTLCrashCpuTypeX86 | kTLCrashCpuArch64;
inline constexpr uint32_t kTLCrashCpuTypeArm64 = 12 | kTLCrashCpuArch64;

}  // namespace ml::crash

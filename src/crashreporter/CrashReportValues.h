#pragma once
// The read-only value types a decoded crash report is made of. Each holds exactly what its part of
// the report file says; "absent" is an empty optional. Plain values: copyable, immutable after
// construction, safe to read from any thread.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ml::crash {

// Seconds since 1970-01-01 00:00 UTC.
using TLCrashReportDate = std::chrono::sys_seconds;

// Values of the report's enumerations.
enum TLCrashReportOperatingSystem : int32_t {
  TLCrashReportOperatingSystemMacOSX = 0,
  TLCrashReportOperatingSystemiPhoneOS = 1,
  TLCrashReportOperatingSystemiPhoneSimulator = 2,
  TLCrashReportOperatingSystemUnknown = 3,
  TLCrashReportOperatingSystemAppleTVOS = 4,
  TLCrashReportOperatingSystemLinux = 5,
};

enum TLCrashReportArchitecture : int32_t {
  TLCrashReportArchitectureX86_32 = 0,
  TLCrashReportArchitectureX86_64 = 1,
  TLCrashReportArchitectureARMv6 = 2,
  TLCrashReportArchitecturePPC = 3,
  TLCrashReportArchitecturePPC64 = 4,
  TLCrashReportArchitectureARMv7 = 5,
  TLCrashReportArchitectureUnknown = 6,
};

enum TLCrashReportProcessorTypeEncoding : int32_t {
  TLCrashReportProcessorTypeEncodingUnknown = 0,
  TLCrashReportProcessorTypeEncodingMach = 1,
};

class TLCrashReportSystemInfo {
 public:
  TLCrashReportSystemInfo(int32_t operatingSystem, std::string operatingSystemVersion,
                          std::optional<std::string> operatingSystemBuild, int32_t architecture,
                          std::optional<TLCrashReportDate> timestamp);

  // The enumerations' numbers as the file holds them (unknown numbers are kept too).
  int32_t operatingSystem() const { return operatingSystem_; }
  const std::string& operatingSystemVersion() const { return operatingSystemVersion_; }
  const std::optional<std::string>& operatingSystemBuild() const { return operatingSystemBuild_; }
  int32_t architecture() const { return architecture_; }
  const std::optional<TLCrashReportDate>& timestamp() const { return timestamp_; }

 private:
  int32_t operatingSystem_;
  std::string operatingSystemVersion_;
  std::optional<std::string> operatingSystemBuild_;
  int32_t architecture_;
  std::optional<TLCrashReportDate> timestamp_;
};

class TLCrashReportProcessorInfo {
 public:
  TLCrashReportProcessorInfo(int32_t typeEncoding, uint64_t type, uint64_t subtype);

  int32_t typeEncoding() const { return typeEncoding_; }
  uint64_t type() const { return type_; }
  uint64_t subtype() const { return subtype_; }

 private:
  int32_t typeEncoding_;
  uint64_t type_;
  uint64_t subtype_;
};

class TLCrashReportMachineInfo {
 public:
  TLCrashReportMachineInfo(std::optional<std::string> modelName, std::optional<TLCrashReportProcessorInfo> processorInfo,
                           uint64_t processorCount, uint64_t logicalProcessorCount);

  const std::optional<std::string>& modelName() const { return modelName_; }
  const std::optional<TLCrashReportProcessorInfo>& processorInfo() const { return processorInfo_; }
  uint64_t processorCount() const { return processorCount_; }
  uint64_t logicalProcessorCount() const { return logicalProcessorCount_; }

 private:
  std::optional<std::string> modelName_;
  std::optional<TLCrashReportProcessorInfo> processorInfo_;
  uint64_t processorCount_;
  uint64_t logicalProcessorCount_;
};

class TLCrashReportApplicationInfo {
 public:
  TLCrashReportApplicationInfo(std::string applicationIdentifier, std::string applicationVersion,
                               std::optional<std::string> applicationMarketingVersion);

  const std::string& applicationIdentifier() const { return applicationIdentifier_; }
  const std::string& applicationVersion() const { return applicationVersion_; }
  const std::optional<std::string>& applicationMarketingVersion() const { return applicationMarketingVersion_; }

 private:
  std::string applicationIdentifier_;
  std::string applicationVersion_;
  std::optional<std::string> applicationMarketingVersion_;
};

class TLCrashReportProcessInfo {
 public:
  TLCrashReportProcessInfo(std::optional<std::string> processName, uint64_t processID,
                           std::optional<std::string> processPath, std::optional<TLCrashReportDate> processStartTime,
                           std::optional<std::string> parentProcessName, uint64_t parentProcessID, bool native);

  const std::optional<std::string>& processName() const { return processName_; }
  uint64_t processID() const { return processID_; }
  const std::optional<std::string>& processPath() const { return processPath_; }
  const std::optional<TLCrashReportDate>& processStartTime() const { return processStartTime_; }
  const std::optional<std::string>& parentProcessName() const { return parentProcessName_; }
  uint64_t parentProcessID() const { return parentProcessID_; }
  bool native() const { return native_; }

 private:
  std::optional<std::string> processName_;
  uint64_t processID_;
  std::optional<std::string> processPath_;
  std::optional<TLCrashReportDate> processStartTime_;
  std::optional<std::string> parentProcessName_;
  uint64_t parentProcessID_;
  bool native_;
};

class TLCrashReportSignalInfo {
 public:
  TLCrashReportSignalInfo(std::string name, std::string code, uint64_t address);

  const std::string& name() const { return name_; }
  const std::string& code() const { return code_; }
  uint64_t address() const { return address_; }

 private:
  std::string name_;
  std::string code_;
  uint64_t address_;
};

class TLCrashReportMachExceptionInfo {
 public:
  TLCrashReportMachExceptionInfo(uint64_t type, std::vector<uint64_t> codes);

  uint64_t type() const { return type_; }
  const std::vector<uint64_t>& codes() const { return codes_; }

 private:
  uint64_t type_;
  std::vector<uint64_t> codes_;
};

class TLCrashReportSymbolInfo {
 public:
  TLCrashReportSymbolInfo(std::string symbolName, uint64_t startAddress, uint64_t endAddress);

  const std::string& symbolName() const { return symbolName_; }
  uint64_t startAddress() const { return startAddress_; }
  uint64_t endAddress() const { return endAddress_; }  // 0 when the file has none

 private:
  std::string symbolName_;
  uint64_t startAddress_;
  uint64_t endAddress_;
};

class TLCrashReportStackFrameInfo {
 public:
  TLCrashReportStackFrameInfo(uint64_t instructionPointer, std::optional<TLCrashReportSymbolInfo> symbolInfo);

  uint64_t instructionPointer() const { return instructionPointer_; }
  const std::optional<TLCrashReportSymbolInfo>& symbolInfo() const { return symbolInfo_; }

 private:
  uint64_t instructionPointer_;
  std::optional<TLCrashReportSymbolInfo> symbolInfo_;
};

class TLCrashReportRegisterInfo {
 public:
  TLCrashReportRegisterInfo(std::string registerName, uint64_t registerValue);

  const std::string& registerName() const { return registerName_; }
  uint64_t registerValue() const { return registerValue_; }

 private:
  std::string registerName_;
  uint64_t registerValue_;
};

class TLCrashReportThreadInfo {
 public:
  TLCrashReportThreadInfo(int64_t threadNumber, std::vector<TLCrashReportStackFrameInfo> stackFrames, bool crashed,
                          std::vector<TLCrashReportRegisterInfo> registers);

  int64_t threadNumber() const { return threadNumber_; }
  // Innermost frame first; empty when the thread could not be walked.
  const std::vector<TLCrashReportStackFrameInfo>& stackFrames() const { return stackFrames_; }
  bool crashed() const { return crashed_; }
  const std::vector<TLCrashReportRegisterInfo>& registers() const { return registers_; }

 private:
  int64_t threadNumber_;
  std::vector<TLCrashReportStackFrameInfo> stackFrames_;
  bool crashed_;
  std::vector<TLCrashReportRegisterInfo> registers_;
};

class TLCrashReportBinaryImageInfo {
 public:
  // When `uuid` is given, hasImageUUID() is true and imageUUID() holds its bytes as lower-case
  // hex digits, two per byte, high nibble first, without separators.
  TLCrashReportBinaryImageInfo(std::optional<TLCrashReportProcessorInfo> codeType, uint64_t baseAddress, uint64_t size,
                               std::string name, std::optional<std::span<const uint8_t>> uuid);

  const std::optional<TLCrashReportProcessorInfo>& codeType() const { return codeType_; }
  uint64_t imageBaseAddress() const { return imageBaseAddress_; }
  uint64_t imageSize() const { return imageSize_; }
  const std::string& imageName() const { return imageName_; }
  bool hasImageUUID() const { return imageUUID_.has_value(); }
  const std::optional<std::string>& imageUUID() const { return imageUUID_; }

 private:
  std::optional<TLCrashReportProcessorInfo> codeType_;
  uint64_t imageBaseAddress_;
  uint64_t imageSize_;
  std::string imageName_;
  std::optional<std::string> imageUUID_;
};

class TLCrashReportExceptionInfo {
 public:
  TLCrashReportExceptionInfo(std::string exceptionName, std::string reason,
                             std::optional<std::vector<TLCrashReportStackFrameInfo>> stackFrames = std::nullopt);

  const std::string& exceptionName() const { return exceptionName_; }
  const std::string& exceptionReason() const { return exceptionReason_; }
  // Absent (not empty) when the exception carried no frames.
  const std::optional<std::vector<TLCrashReportStackFrameInfo>>& stackFrames() const { return stackFrames_; }

 private:
  std::string exceptionName_;
  std::string exceptionReason_;
  std::optional<std::vector<TLCrashReportStackFrameInfo>> stackFrames_;
};

}  // namespace ml::crash

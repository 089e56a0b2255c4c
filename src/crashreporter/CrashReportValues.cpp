#include "crashreporter/CrashReportValues.h"

#include <utility>

namespace ml::crash {

TLCrashReportSystemInfo::TLCrashReportSystemInfo(int32_t operatingSystem, std::string operatingSystemVersion,
                                                 std::optional<std::string> operatingSystemBuild, int32_t architecture,
                                                 std::optional<TLCrashReportDate> timestamp)
    : operatingSystem_(operatingSystem),
      operatingSystemVersion_(std::move(operatingSystemVersion)),
      operatingSystemBuild_(std::move(operatingSystemBuild)),
      architecture_(architecture),
      timestamp_(timestamp) {}

TLCrashReportProcessorInfo::TLCrashReportProcessorInfo(int32_t typeEncoding, uint64_t type, uint64_t subtype)
    : typeEncoding_(typeEncoding), type_(type), subtype_(subtype) {}

TLCrashReportMachineInfo::TLCrashReportMachineInfo(std::optional<std::string> modelName,
                                                   std::optional<TLCrashReportProcessorInfo> processorInfo,
                                                   uint64_t processorCount, uint64_t logicalProcessorCount)
    : modelName_(std::move(modelName)),
      processorInfo_(processorInfo),
      processorCount_(processorCount),
      logicalProcessorCount_(logicalProcessorCount) {}

TLCrashReportApplicationInfo::TLCrashReportApplicationInfo(std::string applicationIdentifier, std::string applicationVersion,
                                                           std::optional<std::string> applicationMarketingVersion)
    : applicationIdentifier_(std::move(applicationIdentifier)),
      applicationVersion_(std::move(applicationVersion)),
      applicationMarketingVersion_(std::move(applicationMarketingVersion)) {}

TLCrashReportProcessInfo::TLCrashReportProcessInfo(std::optional<std::string> processName, uint64_t processID,
                                                   std::optional<std::string> processPath,
                                                   std::optional<TLCrashReportDate> processStartTime,
                                                   std::optional<std::string> parentProcessName, uint64_t parentProcessID,
                                                   bool native)
    : processName_(std::move(processName)),
      processID_(processID),
      processPath_(std::move(processPath)),
      processStartTime_(processStartTime),
      parentProcessName_(std::move(parentProcessName)),
      parentProcessID_(parentProcessID),
      native_(native) {}

TLCrashReportSignalInfo::TLCrashReportSignalInfo(std::string name, std::string code, uint64_t address)
    : name_(std::move(name)), code_(std::move(code)), address_(address) {}

TLCrashReportMachExceptionInfo::TLCrashReportMachExceptionInfo(uint64_t type, std::vector<uint64_t> codes)
    : type_(type), codes_(std::move(codes)) {}

TLCrashReportSymbolInfo::TLCrashReportSymbolInfo(std::string symbolName, uint64_t startAddress, uint64_t endAddress)
    : symbolName_(std::move(symbolName)), startAddress_(startAddress), endAddress_(endAddress) {}

TLCrashReportStackFrameInfo::TLCrashReportStackFrameInfo(uint64_t instructionPointer,
                                                         std::optional<TLCrashReportSymbolInfo> symbolInfo)
    : instructionPointer_(instructionPointer), symbolInfo_(std::move(symbolInfo)) {}

TLCrashReportRegisterInfo::TLCrashReportRegisterInfo(std::string registerName, uint64_t registerValue)
    : registerName_(std::move(registerName)), registerValue_(registerValue) {}

TLCrashReportThreadInfo::TLCrashReportThreadInfo(int64_t threadNumber, std::vector<TLCrashReportStackFrameInfo> stackFrames,
                                                 bool crashed, std::vector<TLCrashReportRegisterInfo> registers)
    : threadNumber_(threadNumber), stackFrames_(std::move(stackFrames)), crashed_(crashed), registers_(std::move(registers)) {}

TLCrashReportBinaryImageInfo::TLCrashReportBinaryImageInfo(std::optional<TLCrashReportProcessorInfo> codeType,
                                                           uint64_t baseAddress, uint64_t size, std::string name,
                                                           std::optional<std::span<const uint8_t>> uuid)
    : codeType_(codeType), imageBaseAddress_(baseAddress), imageSize_(size), imageName_(std::move(name)) {
  if (uuid) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(uuid->size() * 2);
    for (uint8_t byte : *uuid) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 0x0F]);
    }
    imageUUID_ = std::move(hex);
  }
}

TLCrashReportExceptionInfo::TLCrashReportExceptionInfo(std::string exceptionName, std::string reason,
                                                       std::optional<std::vector<TLCrashReportStackFrameInfo>> stackFrames)
    : exceptionName_(std::move(exceptionName)), exceptionReason_(std::move(reason)), stackFrames_(std::move(stackFrames)) {}

}  // namespace ml::crash

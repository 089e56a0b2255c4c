#pragma once
// A decoded crash report file (the header "tlcrash", version 1, then the report message), as
// read-only values. Built in a normal context on the caller's thread; immutable afterwards and
// safe to read from any thread.
//
// Decoding never trusts the file: any byte sequence yields either a report or an error in the
// domain "TLCrashReporterErrorDomain" (code 2) that names the first missing or malformed part.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "crashreporter/CrashReportValues.h"
#include "crashreporter/CrashReporterError.h"
#include "crashreporter/ReportUuid.h"

namespace ml::crash {

class TLCrashReport {
 public:
  // Decodes a whole report file.
  static Result<TLCrashReport> initWithData(std::span<const uint8_t> data);

  const TLCrashReportSystemInfo& systemInfo() const { return *systemInfo_; }
  bool hasMachineInfo() const { return machineInfo_.has_value(); }
  const std::optional<TLCrashReportMachineInfo>& machineInfo() const { return machineInfo_; }
  const TLCrashReportApplicationInfo& applicationInfo() const { return *applicationInfo_; }
  bool hasProcessInfo() const { return processInfo_.has_value(); }
  const std::optional<TLCrashReportProcessInfo>& processInfo() const { return processInfo_; }
  const TLCrashReportSignalInfo& signalInfo() const { return *signalInfo_; }
  const std::optional<TLCrashReportMachExceptionInfo>& machExceptionInfo() const { return machExceptionInfo_; }
  // In file order.
  const std::vector<TLCrashReportThreadInfo>& threads() const { return threads_; }
  const std::vector<TLCrashReportBinaryImageInfo>& images() const { return images_; }
  bool hasExceptionInfo() const { return exceptionInfo_.has_value(); }
  const std::optional<TLCrashReportExceptionInfo>& exceptionInfo() const { return exceptionInfo_; }
  // The report's UUID; absent when the file carries none.
  const std::optional<ReportUuid>& uuidRef() const { return uuid_; }

  // The first image in file order with base <= address < base + size; null when none holds it.
  const TLCrashReportBinaryImageInfo* imageForAddress(uint64_t address) const;

 private:
  TLCrashReport() = default;
  class Decoder;

  // Always set in a report that initWithData returned.
  std::optional<TLCrashReportSystemInfo> systemInfo_;
  std::optional<TLCrashReportMachineInfo> machineInfo_;
  std::optional<TLCrashReportApplicationInfo> applicationInfo_;
  std::optional<TLCrashReportProcessInfo> processInfo_;
  std::optional<TLCrashReportSignalInfo> signalInfo_;
  std::optional<TLCrashReportMachExceptionInfo> machExceptionInfo_;
  std::vector<TLCrashReportThreadInfo> threads_;
  std::vector<TLCrashReportBinaryImageInfo> images_;
  std::optional<TLCrashReportExceptionInfo> exceptionInfo_;
  std::optional<ReportUuid> uuid_;
};

}  // namespace ml::crash

#pragma once
// The application-facing description of one crash of an earlier run: what the crashes delegate and
// the confirmation logic see. Never serialised; carries values between the service and the
// application. Equality is identity. Not synchronised.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/TLDevice.h"

namespace ml::beacon {

class TLErrorReport {
 public:
  using Date = std::chrono::system_clock::time_point;

  TLErrorReport(std::optional<std::string> errorId, std::optional<std::string> reporterKey,
                std::optional<std::string> signal, std::optional<std::string> exceptionName,
                std::optional<std::string> exceptionReason, std::optional<Date> appStartTime,
                std::optional<Date> appErrorTime, std::shared_ptr<const TLDevice> device,
                std::uint64_t appProcessIdentifier)
      : incidentIdentifier_(std::move(errorId)),
        reporterKey_(std::move(reporterKey)),
        signal_(std::move(signal)),
        exceptionName_(std::move(exceptionName)),
        exceptionReason_(std::move(exceptionReason)),
        appStartTime_(appStartTime),
        appErrorTime_(appErrorTime),
        device_(std::move(device)),
        appProcessIdentifier_(appProcessIdentifier) {}

  const std::optional<std::string>& incidentIdentifier() const { return incidentIdentifier_; }
  const std::optional<std::string>& reporterKey() const { return reporterKey_; }
  const std::optional<std::string>& signal() const { return signal_; }
  void setSignal(std::optional<std::string> signal) { signal_ = std::move(signal); }
  const std::optional<std::string>& exceptionName() const { return exceptionName_; }
  const std::optional<std::string>& exceptionReason() const { return exceptionReason_; }
  const std::optional<Date>& appStartTime() const { return appStartTime_; }
  const std::optional<Date>& appErrorTime() const { return appErrorTime_; }
  const std::shared_ptr<const TLDevice>& device() const { return device_; }
  std::uint64_t appProcessIdentifier() const { return appProcessIdentifier_; }

  // The process was killed: the signal is SIGKILL in any letter case.
  bool isAppKill() const;

 private:
  std::optional<std::string> incidentIdentifier_;
  std::optional<std::string> reporterKey_;
  std::optional<std::string> signal_;
  std::optional<std::string> exceptionName_;
  std::optional<std::string> exceptionReason_;
  std::optional<Date> appStartTime_;
  std::optional<Date> appErrorTime_;
  std::shared_ptr<const TLDevice> device_;
  std::uint64_t appProcessIdentifier_;
};

}  // namespace ml::beacon

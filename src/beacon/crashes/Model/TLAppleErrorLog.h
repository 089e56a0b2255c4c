#pragma once
// The crash log (type "appleError") the service sends for one crash of an earlier run: the signal
// that ended the process, the uncaught exception if any, every thread with its frames, the crashed
// thread's registers and the images the frames point into. Addresses are "0x" hexadecimal text.
// Keeps the session id the service gives it (the session tracker leaves it alone).
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "beacon/core/TLLog.h"
#include "beacon/crashes/Model/TLAbstractErrorLog.h"
#include "beacon/crashes/Model/TLBinary.h"
#include "beacon/crashes/Model/TLThread.h"

namespace ml::beacon {

class TLAppleErrorLog : public TLAbstractErrorLog, public TLNoAutoAssignSessionIdLog {
 public:
  static constexpr std::string_view kType = "appleError";
  TLAppleErrorLog() { setType(std::string(kType)); }

  std::optional<std::int64_t> primaryArchitectureId;
  std::optional<std::int64_t> architectureVariantId;
  std::optional<std::string> applicationPath;
  std::optional<std::string> osExceptionType;
  std::optional<std::string> osExceptionCode;
  std::optional<std::string> osExceptionAddress;
  std::optional<std::string> exceptionType;
  std::optional<std::string> exceptionReason;
  std::optional<std::string> selectorRegisterValue;
  TLRecordList<TLThread> threads;
  TLRecordList<TLBinary> binaries;
  std::optional<std::map<std::string, std::string>> registers;
  std::shared_ptr<TLException> exception;

  static constexpr std::string_view kClassName = "TLAppleErrorLog";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // The error-log rule, and the primary architecture, application path and the three os-exception
  // fields are present. Nested records are not looked into.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// A handled (non-fatal) error the application reports: type "handledError", the error's id and its
// exception. Not synchronised.
#include <optional>
#include <string>

#include "beacon/core/TLLogWithProperties.h"
#include "beacon/crashes/Model/TLException.h"

namespace ml::beacon {

class TLHandledErrorLog : public TLLogWithProperties {
 public:
  static constexpr std::string_view kType = "handledError";
  TLHandledErrorLog() { setType(std::string(kType)); }

  std::optional<std::string> errorId;
  std::shared_ptr<TLException> exception;

  static constexpr std::string_view kClassName = "TLHandledErrorLog";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // The base is valid and errorId and exception are present (the exception is not looked into).
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

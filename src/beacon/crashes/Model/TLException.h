#pragma once
// An exception as the backend reads it: type, message, a textual stack trace or frames, and
// inner exceptions nested to any depth. Plain record, not synchronised; all fields absent after
// construction.
#include <optional>
#include <string>

#include "beacon/crashes/Model/TLErrorModelSupport.h"
#include "beacon/crashes/Model/TLStackFrame.h"

namespace ml::beacon {

class TLException : public TLSerializableObject {
 public:
  std::optional<std::string> type;
  std::optional<std::string> message;
  std::optional<std::string> stackTrace;
  TLRecordList<TLStackFrame> frames;
  TLRecordList<TLException> innerExceptions;
  std::optional<std::string> wrapperSdkName;

  static constexpr std::string_view kClassName = "TLException";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // `type` present and at least one frame.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

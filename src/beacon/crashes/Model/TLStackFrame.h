#pragma once
// One frame of a stack trace as the backend reads it. Addresses are "0x"-prefixed hexadecimal text.
// Plain value record, not synchronised; all fields absent after construction.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLStackFrame : public TLSerializableObject {
 public:
  std::optional<std::string> address;
  std::optional<std::string> code;
  // JSON and archive key "className" (the member name is taken by the model's type name).
  std::optional<std::string> frameClassName;
  std::optional<std::string> methodName;
  std::optional<std::int64_t> lineNumber;
  std::optional<std::string> fileName;

  static constexpr std::string_view kClassName = "TLStackFrame";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // A frame has no rule of its own.
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

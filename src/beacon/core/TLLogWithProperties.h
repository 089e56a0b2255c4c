#pragma once
// A log that carries a map of string properties (event and error logs derive from it).
#include <map>
#include <optional>
#include <string>

#include "beacon/core/TLAbstractLog.h"

namespace ml::beacon {

class TLLogWithProperties : public TLAbstractLog {
 public:
  std::optional<std::map<std::string, std::string>> properties;

  static constexpr std::string_view kClassName = "TLLogWithProperties";
  std::string_view className() const override { return kClassName; }
  // The base keys, then "properties" when the map holds at least one entry.
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  // "properties" is archived whenever present, empty or not.
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

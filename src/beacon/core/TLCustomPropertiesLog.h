#pragma once
// The log that sets or clears custom properties of the application by name. A value is the null
// marker (clear), a boolean, a number, a date or a string; other kinds are archived but left out
// of the JSON.
#include <map>
#include <optional>
#include <string>

#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLPropertyValue.h"

namespace ml::beacon {

class TLCustomPropertiesLog : public TLAbstractLog {
 public:
  static constexpr std::string_view kType = "customProperties";
  TLCustomPropertiesLog() { setType(std::string(kType)); }

  std::optional<std::map<std::string, TLPropertyValue>> properties;

  // The JSON object of one value: {"type": "clear"} for the null marker, else "type" ("boolean",
  // "number", "dateTime", "string") and "value"; nothing for a kind without a JSON form (data,
  // arrays, dictionaries, and NaN or infinite numbers).
  static std::optional<TLJsonValue> serializeProperty(const TLPropertyValue& value);

  static constexpr std::string_view kClassName = "TLCustomPropertiesLog";
  std::string_view className() const override { return kClassName; }
  // The base keys, then "properties": one object per entry, in key order, each with its "name".
  TLJsonValue serializeToDictionary() const override;
  // The base's validity and at least one property.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  // The base keys, the log type again under "customProperties", then "properties".
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

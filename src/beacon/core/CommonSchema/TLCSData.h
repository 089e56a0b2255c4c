#pragma once
// The data part of a common-schema log: the log's properties as a free-form JSON object. Its JSON
// puts "baseType" first and "baseData" second when they are present, then every other entry in
// the object's own order; nothing when the properties are absent. Not synchronised.
#include <optional>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLCSData : public TLSerializableObject {
 public:
  std::optional<TLJsonValue> properties;  // a JSON object

  static constexpr std::string_view kClassName = "TLCSData";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

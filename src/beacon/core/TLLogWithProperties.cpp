#include "beacon/core/TLLogWithProperties.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon {

TLJsonValue TLLogWithProperties::serializeToDictionary() const {
  TLJsonValue json = TLAbstractLog::serializeToDictionary();
  if (properties && !properties->empty()) {
    TLJsonValue map = TLJsonValue::object();
    for (const auto& [key, value] : *properties) map[key] = value;
    json["properties"] = std::move(map);
  }
  return json;
}

bool TLLogWithProperties::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLLogWithProperties*>(&other);
  return log && TLAbstractLog::isEqual(other) && properties == log->properties;
}

void TLLogWithProperties::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractLog::encodeWithCoder(coder);
  coder.encodeStringDictionary("properties", properties);
}

void TLLogWithProperties::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractLog::initWithCoder(coder);
  properties = coder.decodeStringDictionary("properties");
}

}  // namespace ml::beacon

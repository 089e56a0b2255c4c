#include "beacon/core/TLCustomPropertiesLog.h"

#include <cmath>

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

using foundation::PlistValue;

std::optional<TLJsonValue> TLCustomPropertiesLog::serializeProperty(const TLPropertyValue& value) {
  TLJsonValue json = TLJsonValue::object();
  const PlistValue* plist = value.value();
  if (!plist) {
    json["type"] = "clear";
    return json;
  }
  switch (plist->kind()) {
    case PlistValue::Kind::boolean:
      json["type"] = "boolean";
      json["value"] = *plist->boolean();
      return json;
    case PlistValue::Kind::integer:
      json["type"] = "number";
      json["value"] = *plist->integer();
      return json;
    case PlistValue::Kind::real:
      if (!std::isfinite(*plist->real())) return std::nullopt;  // JSON has no NaN or infinity
      json["type"] = "number";
      json["value"] = *plist->real();
      return json;
    case PlistValue::Kind::date:
      json["type"] = "dateTime";
      json["value"] = TLUtilityDate::dateToISO8601(*plist->date());
      return json;
    case PlistValue::Kind::string:
      json["type"] = "string";
      json["value"] = *plist->string();
      return json;
    default:
      return std::nullopt;
  }
}

TLJsonValue TLCustomPropertiesLog::serializeToDictionary() const {
  TLJsonValue json = TLAbstractLog::serializeToDictionary();
  if (properties) {
    TLJsonValue array = TLJsonValue::array();
    for (const auto& [name, value] : *properties) {
      auto property = serializeProperty(value);
      if (!property) continue;
      (*property)["name"] = name;
      array.push_back(std::move(*property));
    }
    json["properties"] = std::move(array);
  }
  return json;
}

bool TLCustomPropertiesLog::isValid() const {
  return TLAbstractLog::isValid() && properties && !properties->empty();
}

bool TLCustomPropertiesLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLCustomPropertiesLog*>(&other);
  return log && TLAbstractLog::isEqual(other) && properties == log->properties;
}

void TLCustomPropertiesLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractLog::encodeWithCoder(coder);
  coder.encodeString("customProperties", type());
  coder.encodePropertyDictionary("properties", properties);
}

void TLCustomPropertiesLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractLog::initWithCoder(coder);
  setType(coder.decodeString("customProperties"));
  properties = coder.decodePropertyDictionary("properties");
}

}  // namespace ml::beacon

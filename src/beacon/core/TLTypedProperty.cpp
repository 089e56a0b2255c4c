#include "beacon/core/TLTypedProperty.h"

#include <cmath>

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

// --- TLTypedProperty

TLJsonValue TLTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "type", type);
  putIfPresent(json, "name", name);
  return json;
}

bool TLTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = dynamic_cast<const TLTypedProperty*>(&other);
  return property && type == property->type;
}

void TLTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("type", type);
  coder.encodeString("name", name);
}

void TLTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  type = coder.decodeString("type");
  name = coder.decodeString("name");
}

// --- Subclasses: each adds "value" after the base's keys.

namespace {
template <class T>
const T* sameKind(const TLTypedProperty& self, const TLSerializableObject& other) {
  const auto* property = dynamic_cast<const T*>(&other);
  return property && self.TLTypedProperty::isEqual(other) ? property : nullptr;
}
}  // namespace

TLJsonValue TLStringTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLTypedProperty::serializeToDictionary();
  putIfPresent(json, "value", value);
  return json;
}
bool TLStringTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = sameKind<TLStringTypedProperty>(*this, other);
  return property && value == property->value;
}
void TLStringTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLTypedProperty::encodeWithCoder(coder);
  coder.encodeString("value", value);
}
void TLStringTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLTypedProperty::initWithCoder(coder);
  value = coder.decodeString("value");
}

TLJsonValue TLLongTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLTypedProperty::serializeToDictionary();
  json["value"] = value;
  return json;
}
bool TLLongTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = sameKind<TLLongTypedProperty>(*this, other);
  return property && value == property->value;
}
void TLLongTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLTypedProperty::encodeWithCoder(coder);
  coder.encodeInt64("value", value);
}
void TLLongTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLTypedProperty::initWithCoder(coder);
  value = coder.decodeInt64("value").value_or(0);
}

TLJsonValue TLDoubleTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLTypedProperty::serializeToDictionary();
  if (std::isfinite(value)) json["value"] = value;  // JSON has no NaN or infinity: no key then
  return json;
}
bool TLDoubleTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = sameKind<TLDoubleTypedProperty>(*this, other);
  return property && value == property->value;
}
void TLDoubleTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLTypedProperty::encodeWithCoder(coder);
  coder.encodeDouble("value", value);
}
void TLDoubleTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLTypedProperty::initWithCoder(coder);
  value = coder.decodeDouble("value").value_or(0);
}

TLJsonValue TLBooleanTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLTypedProperty::serializeToDictionary();
  json["value"] = value;
  return json;
}
bool TLBooleanTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = sameKind<TLBooleanTypedProperty>(*this, other);
  return property && value == property->value;
}
void TLBooleanTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLTypedProperty::encodeWithCoder(coder);
  coder.encodeBool("value", value);
}
void TLBooleanTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLTypedProperty::initWithCoder(coder);
  value = coder.decodeBool("value").value_or(false);
}

TLJsonValue TLDateTimeTypedProperty::serializeToDictionary() const {
  TLJsonValue json = TLTypedProperty::serializeToDictionary();
  if (value) json["value"] = TLUtilityDate::dateToISO8601(*value);
  return json;
}
bool TLDateTimeTypedProperty::isEqual(const TLSerializableObject& other) const {
  const auto* property = sameKind<TLDateTimeTypedProperty>(*this, other);
  return property && value == property->value;
}
void TLDateTimeTypedProperty::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLTypedProperty::encodeWithCoder(coder);
  coder.encodeDate("value", value);
}
void TLDateTimeTypedProperty::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLTypedProperty::initWithCoder(coder);
  value = coder.decodeDate("value");
}

}  // namespace ml::beacon

#include "beacon/core/TLKeyedArchiver.h"

#include "beacon/core/Utf8.h"
#include "platform/foundation/PropertyList.h"

namespace ml::beacon {

using foundation::PlistValue;

namespace {

PlistValue tagged(std::string_view className, PlistValue::Dictionary fields) {
  fields.emplace("$class", PlistValue(className));
  return PlistValue(std::move(fields));
}

PlistValue encodedPlist(const PlistValue& value) {
  switch (value.kind()) {
    case PlistValue::Kind::string:
      return TLKeyedArchiver::encodedString(*value.string());
    case PlistValue::Kind::date:
      return TLKeyedArchiver::encodedDate(*value.date());
    case PlistValue::Kind::array: {
      PlistValue::Array items;
      for (const auto& item : *value.array()) items.push_back(encodedPlist(item));
      return PlistValue(std::move(items));
    }
    case PlistValue::Kind::dictionary: {
      PlistValue::Array keys, values;
      for (const auto& [key, item] : *value.dictionary()) {
        keys.push_back(TLKeyedArchiver::encodedString(key));
        values.push_back(encodedPlist(item));
      }
      return tagged(TLKeyedArchiver::kDictionaryClass, {{"keys", PlistValue(std::move(keys))}, {"values", PlistValue(std::move(values))}});
    }
    default:
      return value;
  }
}

}  // namespace

PlistValue TLKeyedArchiver::encodedString(const std::string& value) {
  if (value.find('\0') == std::string::npos && utf8::isValid(value)) return PlistValue(value);
  // The format keeps UTF-8 C strings; carry any other bytes as they are.
  return tagged(kStringClass, {{"bytes", PlistValue(PlistValue::Data(value.begin(), value.end()))}});
}

PlistValue TLKeyedArchiver::encodedDate(Date value) {
  // Nanoseconds since 1970: every time point of the clock, exactly.
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(value.time_since_epoch()).count();
  return tagged(kDateClass, {{"ns", PlistValue(static_cast<std::int64_t>(ns))}});
}

PlistValue TLKeyedArchiver::encodedValue(const TLPropertyValue& value) {
  if (value.isNull()) return tagged(kNullClass, {});
  return encodedPlist(*value.value());
}

PlistValue TLKeyedArchiver::encodedObject(const TLSerializableObject& object) {
  TLKeyedArchiver nested;
  object.encodeWithCoder(nested);
  return tagged(object.className(), std::move(nested.fields_));
}

foundation::Result<std::vector<std::uint8_t>> TLKeyedArchiver::archivedData(const TLSerializableObject& root) {
  PlistValue::Dictionary archive;
  archive.emplace("$archiver", PlistValue(kArchiverName));
  archive.emplace("$version", PlistValue(kVersion));
  archive.emplace("$top", encodedObject(root));
  return foundation::PropertyList::toBinary(PlistValue(std::move(archive)));
}

void TLKeyedArchiver::encodeString(std::string_view key, const std::optional<std::string>& value) {
  if (value) fields_.insert_or_assign(std::string(key), encodedString(*value));
}

void TLKeyedArchiver::encodeInt64(std::string_view key, std::optional<std::int64_t> value) {
  if (value) fields_.insert_or_assign(std::string(key), PlistValue(*value));
}

void TLKeyedArchiver::encodeDouble(std::string_view key, std::optional<double> value) {
  if (value) fields_.insert_or_assign(std::string(key), PlistValue(*value));
}

void TLKeyedArchiver::encodeBool(std::string_view key, std::optional<bool> value) {
  if (value) fields_.insert_or_assign(std::string(key), PlistValue(*value));
}

void TLKeyedArchiver::encodeDate(std::string_view key, std::optional<Date> value) {
  if (value) fields_.insert_or_assign(std::string(key), encodedDate(*value));
}

void TLKeyedArchiver::encodeStringArray(std::string_view key, const std::optional<std::vector<std::string>>& value) {
  if (!value) return;
  PlistValue::Array items;
  for (const auto& item : *value) items.push_back(encodedString(item));
  fields_.insert_or_assign(std::string(key), PlistValue(std::move(items)));
}

void TLKeyedArchiver::encodeStringDictionary(std::string_view key,
                                             const std::optional<std::map<std::string, std::string>>& value) {
  if (!value) return;
  PlistValue::Dictionary plain;
  for (const auto& [k, v] : *value) plain.emplace(k, PlistValue(v));
  fields_.insert_or_assign(std::string(key), encodedPlist(PlistValue(std::move(plain))));
}

void TLKeyedArchiver::encodePropertyDictionary(std::string_view key,
                                               const std::optional<std::map<std::string, TLPropertyValue>>& value) {
  if (!value) return;
  PlistValue::Array keys, values;
  for (const auto& [k, v] : *value) {
    keys.push_back(encodedString(k));
    values.push_back(encodedValue(v));
  }
  fields_.insert_or_assign(std::string(key),
                           tagged(kDictionaryClass, {{"keys", PlistValue(std::move(keys))}, {"values", PlistValue(std::move(values))}}));
}

void TLKeyedArchiver::encodeObject(std::string_view key, const TLSerializableObject* object) {
  if (object) fields_.insert_or_assign(std::string(key), encodedObject(*object));
}

}  // namespace ml::beacon

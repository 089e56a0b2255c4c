#pragma once
// Writes a model object graph as a keyed archive: a binary property list
//   { "$archiver": "TLKeyedArchive", "$version": 1, "$top": <object> }
// where each object is a dictionary of its coder keys plus "$class" with its type name. Values
// the property-list format cannot hold as they are (dates, which it keeps only to the
// microsecond; strings with U+0000 or bytes that are not UTF-8; dictionaries, whose keys must be C strings and must not be
// mistaken for objects; the null marker) are written as small tagged objects of their own, so
// every value decodes back exactly. The archive keys of a model equal its JSON keys.
//
// One archiver per archiving run; not shared between threads.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/TLPropertyValue.h"
#include "beacon/core/TLSerializableObject.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLKeyedArchiver {
 public:
  using Date = std::chrono::system_clock::time_point;

  static constexpr std::string_view kArchiverName = "TLKeyedArchive";
  static constexpr std::int64_t kVersion = 1;
  // Tagged value classes (never the name of a model).
  static constexpr std::string_view kDateClass = "$Date";
  static constexpr std::string_view kStringClass = "$String";
  static constexpr std::string_view kDictionaryClass = "$Dictionary";
  static constexpr std::string_view kNullClass = "$Null";

  // The archive of `root` as binary property-list bytes.
  static foundation::Result<std::vector<std::uint8_t>> archivedData(const TLSerializableObject& root);

  // Each encoder writes nothing for an absent value.
  void encodeString(std::string_view key, const std::optional<std::string>& value);
  void encodeInt64(std::string_view key, std::optional<std::int64_t> value);
  void encodeDouble(std::string_view key, std::optional<double> value);
  void encodeBool(std::string_view key, std::optional<bool> value);
  void encodeDate(std::string_view key, std::optional<Date> value);
  void encodeStringArray(std::string_view key, const std::optional<std::vector<std::string>>& value);
  void encodeStringDictionary(std::string_view key, const std::optional<std::map<std::string, std::string>>& value);
  void encodePropertyDictionary(std::string_view key, const std::optional<std::map<std::string, TLPropertyValue>>& value);
  void encodeObject(std::string_view key, const TLSerializableObject* object);

  // The encoded form of one value (exposed for the unarchiver's tests).
  static foundation::PlistValue encodedString(const std::string& value);
  static foundation::PlistValue encodedDate(Date value);
  static foundation::PlistValue encodedValue(const TLPropertyValue& value);
  static foundation::PlistValue encodedObject(const TLSerializableObject& object);

 private:
  foundation::PlistValue::Dictionary fields_;
};

}  // namespace ml::beacon

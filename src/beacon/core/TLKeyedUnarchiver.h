#pragma once
// Reads a keyed archive written by TLKeyedArchiver back into model objects. The archive is outside
// data (it comes from the log database or the settings file): every kind is checked, only listed
// classes are made (TLArchiveClasses), and the first problem makes the whole decoding fail with an
// Error in the telemetry archive domain, never a crash or a half-read object.
//
// Decoders answer nothing for a missing key. A key whose value has the wrong kind fails the
// decoding (the decoder then answers nothing too). One unarchiver per object being decoded; not
// shared between threads.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/TLPropertyValue.h"
#include "beacon/core/TLSerializableObject.h"
#include "platform/foundation/PlistValue.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLKeyedUnarchiver {
 public:
  using Date = std::chrono::system_clock::time_point;

  static constexpr const char* kErrorDomain = "org.marrowlane.beacon.archive";
  static constexpr int kCorruptArchiveError = 1;
  static constexpr int kUnknownClassError = 2;

  // The root object of an archive.
  static foundation::Result<std::shared_ptr<TLSerializableObject>> unarchivedObject(std::span<const std::uint8_t> bytes);
  // The root object, which must be a T (or derived from it).
  template <class T>
  static foundation::Result<std::shared_ptr<T>> unarchivedObjectOfClass(std::span<const std::uint8_t> bytes) {
    auto object = unarchivedObject(bytes);
    if (!object) return object.error();
    auto typed = std::dynamic_pointer_cast<T>(*object);
    if (!typed) return wrongClassError((*object)->className());
    return typed;
  }

  bool containsValue(std::string_view key) const;
  std::optional<std::string> decodeString(std::string_view key) const;
  std::optional<std::int64_t> decodeInt64(std::string_view key) const;
  // Integers are accepted and converted.
  std::optional<double> decodeDouble(std::string_view key) const;
  std::optional<bool> decodeBool(std::string_view key) const;
  std::optional<Date> decodeDate(std::string_view key) const;
  std::optional<std::vector<std::string>> decodeStringArray(std::string_view key) const;
  std::optional<std::map<std::string, std::string>> decodeStringDictionary(std::string_view key) const;
  std::optional<std::map<std::string, TLPropertyValue>> decodePropertyDictionary(std::string_view key) const;
  std::shared_ptr<TLSerializableObject> decodeObject(std::string_view key) const;
  template <class T>
  std::shared_ptr<T> decodeObjectOfClass(std::string_view key) const {
    auto object = decodeObject(key);
    if (!object) return nullptr;
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) fail(kCorruptArchiveError, "value of \"" + std::string(key) + "\" is a " + std::string(object->className()));
    return typed;
  }

  // Records a problem found by a model's own decoding; the first one wins.
  void fail(int code, std::string message) const;

 private:
  struct Failure;
  TLKeyedUnarchiver(const foundation::PlistValue::Dictionary& fields, std::shared_ptr<Failure> failure);
  static foundation::Error wrongClassError(std::string_view className);
  static std::shared_ptr<TLSerializableObject> decodeObjectValue(const foundation::PlistValue& value,
                                                                 const std::shared_ptr<Failure>& failure);
  const foundation::PlistValue* field(std::string_view key) const;
  std::optional<std::string> stringValue(const foundation::PlistValue& value, std::string_view key) const;
  std::optional<TLPropertyValue> propertyValue(const foundation::PlistValue& value, std::string_view key) const;
  std::optional<foundation::PlistValue> plistValue(const foundation::PlistValue& value, std::string_view key) const;
  std::optional<std::pair<const foundation::PlistValue::Array*, const foundation::PlistValue::Array*>>
  dictionaryArrays(const foundation::PlistValue& value, std::string_view key) const;

  const foundation::PlistValue::Dictionary& fields_;
  std::shared_ptr<Failure> failure_;
};

}  // namespace ml::beacon

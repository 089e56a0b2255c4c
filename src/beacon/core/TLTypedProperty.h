#pragma once
// Typed event properties: a name, a type name and a value of that type, with JSON and archive
// forms. Equality compares the type and the value; the name takes no part in it.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLTypedProperty : public TLSerializableObject {
 public:
  std::optional<std::string> type;
  std::optional<std::string> name;

  static constexpr std::string_view kClassName = "TLTypedProperty";
  std::string_view className() const override { return kClassName; }
  // "type" and "name" when present; subclasses add "value".
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

 protected:
  explicit TLTypedProperty(std::string_view typeName) : type(std::string(typeName)) {}
};

class TLStringTypedProperty : public TLTypedProperty {
 public:
  TLStringTypedProperty() : TLTypedProperty("string") {}
  std::optional<std::string> value;

  static constexpr std::string_view kClassName = "TLStringTypedProperty";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLLongTypedProperty : public TLTypedProperty {
 public:
  TLLongTypedProperty() : TLTypedProperty("long") {}
  std::int64_t value = 0;

  static constexpr std::string_view kClassName = "TLLongTypedProperty";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLDoubleTypedProperty : public TLTypedProperty {
 public:
  TLDoubleTypedProperty() : TLTypedProperty("double") {}
  double value = 0;

  static constexpr std::string_view kClassName = "TLDoubleTypedProperty";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLBooleanTypedProperty : public TLTypedProperty {
 public:
  TLBooleanTypedProperty() : TLTypedProperty("boolean") {}
  bool value = false;

  static constexpr std::string_view kClassName = "TLBooleanTypedProperty";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLDateTimeTypedProperty : public TLTypedProperty {
 public:
  using Date = std::chrono::system_clock::time_point;
  TLDateTimeTypedProperty() : TLTypedProperty("dateTime") {}
  std::optional<Date> value;

  static constexpr std::string_view kClassName = "TLDateTimeTypedProperty";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// A value of a custom property: the null marker (which clears the property), or a property-list
// value. Booleans, numbers (integer or real), dates and strings have a JSON form; data, arrays and
// dictionaries are kept (and archived) but left out of the JSON.
#include <optional>
#include <utility>

#include "platform/foundation/PlistValue.h"

namespace ml::beacon {

class TLPropertyValue {
 public:
  // The null marker.
  TLPropertyValue() = default;
  static TLPropertyValue null() { return {}; }
  template <class T>
    requires std::constructible_from<foundation::PlistValue, T>
  TLPropertyValue(T&& value)  // NOLINT(google-explicit-constructor): property maps read like literals
      : value_(std::in_place, std::forward<T>(value)) {}

  bool isNull() const { return !value_.has_value(); }
  // The value; null for the null marker.
  const foundation::PlistValue* value() const { return value_ ? &*value_ : nullptr; }

  friend bool operator==(const TLPropertyValue&, const TLPropertyValue&) = default;

 private:
  std::optional<foundation::PlistValue> value_;
};

}  // namespace ml::beacon

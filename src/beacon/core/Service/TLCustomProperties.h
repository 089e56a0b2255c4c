#pragma once
// Builder of the custom properties the application sends with TLBeacon::setCustomProperties: each
// name is set to a string, number, boolean or date, or cleared. A later setting of a name
// replaces the earlier one. Names must not be empty (an empty one is refused with a warning).
// A value type; not synchronised.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "beacon/core/TLPropertyValue.h"

namespace ml::beacon {

class TLCustomProperties {
 public:
  using Properties = std::map<std::string, TLPropertyValue>;

  TLCustomProperties& setString(std::string_view key, std::string value);
  TLCustomProperties& setNumber(std::string_view key, std::int64_t value);
  TLCustomProperties& setNumber(std::string_view key, double value);
  TLCustomProperties& setBool(std::string_view key, bool value);
  TLCustomProperties& setDate(std::string_view key, std::chrono::system_clock::time_point value);
  // The property is to be removed from the application's properties.
  TLCustomProperties& clearProperty(std::string_view key);

  // A copy of what was set, by name.
  Properties propertiesImmutableCopy() const { return properties_; }

 private:
  TLCustomProperties& set(std::string_view key, TLPropertyValue value);
  Properties properties_;
};

}  // namespace ml::beacon

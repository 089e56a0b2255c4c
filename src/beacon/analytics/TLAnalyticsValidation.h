#pragma once
// The analytics service's checks of names and properties. Names and string values are counted
// in code points and cut on code-point boundaries. Every check warns (or errors) under the
// analytics tag and returns what may be sent; none throws. Stateless and thread-safe.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/analytics/Model/TLLogWithNameAndProperties.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

class TLAnalyticsValidation {
 public:
  TLAnalyticsValidation() = delete;

  static constexpr std::size_t kMaxEventNameLength = 256;
  static constexpr std::size_t kMaxTypedPropertiesCount = 20;
  static constexpr std::size_t kMaxTypedPropertyLength = 125;

  // Completes an event or page log for storage: false (the log is to be dropped) when its name
  // is missing or empty; otherwise the name is cut to 256 and the string properties validated.
  static bool validateLog(TLLogWithNameAndProperties& log);
  // Nothing for an absent or empty name; a longer name cut to 256.
  static std::optional<std::string> validateEventName(const std::optional<std::string>& name, std::string_view type);
  // The core's string-property rules (20 entries, no empty keys, keys and values cut to 125).
  static std::optional<TLStringProperties> validateProperties(const std::optional<TLStringProperties>& properties,
                                                              std::string_view logName, std::string_view type);
  // A new bag of at most 20 checked copies of the given properties (empty for none).
  static std::shared_ptr<TLEventProperties> validateBeaconEventProperties(const TLEventProperties* properties);
  // A checked copy (name, and a string's value, cut to 125); nothing for an unknown kind.
  static std::shared_ptr<TLTypedProperty> validateBeaconTypedProperty(const TLTypedProperty& property);
  static std::string validateBeaconPropertyName(const std::string& name);
  static std::string validateBeaconStringTypedPropertyValue(const std::string& value);
};

}  // namespace ml::beacon

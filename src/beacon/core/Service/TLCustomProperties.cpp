#include "beacon/core/Service/TLCustomProperties.h"

#include "beacon/core/TLLogger.h"

namespace ml::beacon {

TLCustomProperties& TLCustomProperties::set(std::string_view key, TLPropertyValue value) {
  if (key.empty()) {
    TL_LOG_WARNING(kBeaconLogTag, "Custom property key cannot be empty. Property will be skipped.");
    return *this;
  }
  properties_.insert_or_assign(std::string(key), std::move(value));
  return *this;
}

TLCustomProperties& TLCustomProperties::setString(std::string_view key, std::string value) {
  return set(key, foundation::PlistValue(std::move(value)));
}

TLCustomProperties& TLCustomProperties::setNumber(std::string_view key, std::int64_t value) {
  return set(key, foundation::PlistValue(value));
}

TLCustomProperties& TLCustomProperties::setNumber(std::string_view key, double value) {
  return set(key, foundation::PlistValue(value));
}

TLCustomProperties& TLCustomProperties::setBool(std::string_view key, bool value) {
  return set(key, foundation::PlistValue(value));
}

TLCustomProperties& TLCustomProperties::setDate(std::string_view key, std::chrono::system_clock::time_point value) {
  return set(key, foundation::PlistValue(value));
}

TLCustomProperties& TLCustomProperties::clearProperty(std::string_view key) { return set(key, TLPropertyValue::null()); }

}  // namespace ml::beacon

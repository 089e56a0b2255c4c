#include "beacon/analytics/TLAnalyticsValidation.h"

#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/Utf8.h"

namespace ml::beacon {

bool TLAnalyticsValidation::validateLog(TLLogWithNameAndProperties& log) {
  std::string type = log.type().value_or("");
  auto name = validateEventName(log.name, type);
  if (!name) return false;
  log.name = *name;
  log.properties = validateProperties(log.properties, *name, type);
  return true;
}

std::optional<std::string> TLAnalyticsValidation::validateEventName(const std::optional<std::string>& name,
                                                                    std::string_view type) {
  if (!name || name->empty()) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, type << " name cannot be null or empty");
    return std::nullopt;
  }
  if (utf8::codePointCount(*name) > kMaxEventNameLength) {
    TL_LOG_WARNING(kBeaconAnalyticsLogTag, type << " '" << *name << "' : name length cannot be longer than "
                                                << kMaxEventNameLength << " characters. Name will be truncated.");
    return std::string(utf8::prefix(*name, kMaxEventNameLength));
  }
  return name;
}

std::optional<TLStringProperties> TLAnalyticsValidation::validateProperties(
    const std::optional<TLStringProperties>& properties, std::string_view logName, std::string_view type) {
  if (!properties) return std::nullopt;
  return TLUtility::validateProperties(*properties, logName, type);
}

std::shared_ptr<TLEventProperties> TLAnalyticsValidation::validateBeaconEventProperties(
    const TLEventProperties* properties) {
  auto result = std::make_shared<TLEventProperties>();
  if (!properties) return result;
  for (const auto& entry : properties->properties()) {
    if (result->count() >= kMaxTypedPropertiesCount) {
      TL_LOG_WARNING(kBeaconAnalyticsLogTag, "Typed properties cannot contain more than "
                                                 << kMaxTypedPropertiesCount << " items. Skipping other properties.");
      break;
    }
    if (!entry.second) continue;
    auto validated = validateBeaconTypedProperty(*entry.second);
    if (!validated) continue;
    std::string name = validated->name.value_or("");
    result->put(name, std::move(validated));
  }
  return result;
}

namespace {

template <class P>
std::shared_ptr<TLTypedProperty> copyOf(const TLTypedProperty& property) {
  const auto* typed = dynamic_cast<const P*>(&property);
  if (!typed) return nullptr;
  auto copy = std::make_shared<P>();
  copy->value = typed->value;
  return copy;
}

}  // namespace

std::shared_ptr<TLTypedProperty> TLAnalyticsValidation::validateBeaconTypedProperty(const TLTypedProperty& property) {
  std::shared_ptr<TLTypedProperty> copy;
  if (const auto* string = dynamic_cast<const TLStringTypedProperty*>(&property)) {
    auto validated = std::make_shared<TLStringTypedProperty>();
    if (string->value) validated->value = validateBeaconStringTypedPropertyValue(*string->value);
    copy = std::move(validated);
  } else if (!(copy = copyOf<TLBooleanTypedProperty>(property)) && !(copy = copyOf<TLLongTypedProperty>(property)) &&
             !(copy = copyOf<TLDoubleTypedProperty>(property)) &&
             !(copy = copyOf<TLDateTimeTypedProperty>(property))) {
    return nullptr;
  }
  copy->name = validateBeaconPropertyName(property.name.value_or(""));
  return copy;
}

std::string TLAnalyticsValidation::validateBeaconPropertyName(const std::string& name) {
  if (utf8::codePointCount(name) <= kMaxTypedPropertyLength) return name;
  TL_LOG_WARNING(kBeaconAnalyticsLogTag, "Typed property '" << name << "': key length cannot exceed "
                                                            << kMaxTypedPropertyLength
                                                            << " characters. Property value will be truncated.");
  return std::string(utf8::prefix(name, kMaxTypedPropertyLength));
}

std::string TLAnalyticsValidation::validateBeaconStringTypedPropertyValue(const std::string& value) {
  if (utf8::codePointCount(value) <= kMaxTypedPropertyLength) return value;
  TL_LOG_WARNING(kBeaconAnalyticsLogTag, "Typed property value length cannot exceed "
                                             << kMaxTypedPropertyLength
                                             << " characters. Property value will be truncated.");
  return std::string(utf8::prefix(value, kMaxTypedPropertyLength));
}

}  // namespace ml::beacon

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "beacon/core/Utf8.h"

namespace ml::beacon {

TLStringProperties TLUtility::validateProperties(const TLStringProperties& properties, std::string_view logName,
                                                 std::string_view type) {
  TLStringProperties result;
  for (const auto& entry : properties) {
    // Named references rather than structured bindings: the log macros capture them in a lambda.
    const std::string& key = entry.first;
    const std::string& value = entry.second;
    if (result.size() >= kMaxPropertiesCount) {
      TL_LOG_WARNING(kBeaconLogTag, type << " '" << logName << "' : properties cannot contain more than "
                                         << kMaxPropertiesCount << " items. Skipping other properties.");
      break;
    }
    if (key.empty()) {
      TL_LOG_WARNING(kBeaconLogTag, type << " '" << logName
                                         << "' : a property key cannot be null or empty. Property will be skipped.");
      continue;
    }
    std::string validKey = key;
    if (utf8::codePointCount(key) > kMaxPropertyKeyLength) {
      TL_LOG_WARNING(kBeaconLogTag, type << " '" << logName << "' : property " << key
                                         << " : property key length cannot be longer than " << kMaxPropertyKeyLength
                                         << " characters. Property key will be truncated.");
      validKey = std::string(utf8::prefix(key, kMaxPropertyKeyLength));
    }
    std::string validValue = value;
    if (utf8::codePointCount(value) > kMaxPropertyValueLength) {
      TL_LOG_WARNING(kBeaconLogTag, type << " '" << logName << "' : property '" << validKey
                                         << "' : property value cannot be longer than " << kMaxPropertyValueLength
                                         << " characters. Property value will be truncated.");
      validValue = std::string(utf8::prefix(value, kMaxPropertyValueLength));
    }
    result[std::move(validKey)] = std::move(validValue);
  }
  return result;
}

}  // namespace ml::beacon

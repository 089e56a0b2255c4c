#pragma once
// The device and application record every log carries: the client library, the operating system,
// the locale and the application that produced the log. A plain value holder (see TLWrapperSdk);
// logs share one record through std::shared_ptr<const TLDevice>.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLWrapperSdk.h"

namespace ml::beacon {

class TLDevice : public TLWrapperSdk {
 public:
  std::optional<std::string> sdkName;
  std::optional<std::string> sdkVersion;
  std::optional<std::string> model;
  std::optional<std::string> oemName;
  std::optional<std::string> osName;
  std::optional<std::string> osVersion;
  std::optional<std::string> osBuild;
  std::optional<std::int64_t> osApiLevel;
  std::optional<std::string> locale;  // "en_US": underscore between language and region
  std::optional<std::int64_t> timeZoneOffset;  // minutes east of UTC
  std::optional<std::string> screenSize;
  std::optional<std::string> appVersion;
  std::optional<std::string> carrierName;
  std::optional<std::string> carrierCountry;
  std::optional<std::string> appBuild;
  std::optional<std::string> appNamespace;

  static constexpr std::string_view kClassName = "TLDevice";
  std::string_view className() const override { return kClassName; }
  // The wrapper fields, then one key per present device field, in declaration order.
  TLJsonValue serializeToDictionary() const override;
  // Valid when sdkName, sdkVersion, osName, osVersion, locale, timeZoneOffset, appVersion and
  // appBuild are all present.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#include "beacon/core/TLDevice.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLDevice::serializeToDictionary() const {
  TLJsonValue json = TLWrapperSdk::serializeToDictionary();
  putIfPresent(json, "sdkName", sdkName);
  putIfPresent(json, "sdkVersion", sdkVersion);
  putIfPresent(json, "model", model);
  putIfPresent(json, "oemName", oemName);
  putIfPresent(json, "osName", osName);
  putIfPresent(json, "osVersion", osVersion);
  putIfPresent(json, "osBuild", osBuild);
  putIfPresent(json, "osApiLevel", osApiLevel);
  putIfPresent(json, "locale", locale);
  putIfPresent(json, "timeZoneOffset", timeZoneOffset);
  putIfPresent(json, "screenSize", screenSize);
  putIfPresent(json, "appVersion", appVersion);
  putIfPresent(json, "carrierName", carrierName);
  putIfPresent(json, "carrierCountry", carrierCountry);
  putIfPresent(json, "appBuild", appBuild);
  putIfPresent(json, "appNamespace", appNamespace);
  return json;
}

bool TLDevice::isValid() const {
  return TLWrapperSdk::isValid() && sdkName && sdkVersion && osName && osVersion && locale && timeZoneOffset &&
         appVersion && appBuild;
}

bool TLDevice::isEqual(const TLSerializableObject& other) const {
  const auto* device = dynamic_cast<const TLDevice*>(&other);
  return device && wrapperFieldsEqual(*device) && sdkName == device->sdkName && sdkVersion == device->sdkVersion &&
         model == device->model && oemName == device->oemName && osName == device->osName &&
         osVersion == device->osVersion && osBuild == device->osBuild && osApiLevel == device->osApiLevel &&
         locale == device->locale && timeZoneOffset == device->timeZoneOffset && screenSize == device->screenSize &&
         appVersion == device->appVersion && carrierName == device->carrierName &&
         carrierCountry == device->carrierCountry && appBuild == device->appBuild &&
         appNamespace == device->appNamespace;
}

void TLDevice::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLWrapperSdk::encodeWithCoder(coder);
  coder.encodeString("sdkName", sdkName);
  coder.encodeString("sdkVersion", sdkVersion);
  coder.encodeString("model", model);
  coder.encodeString("oemName", oemName);
  coder.encodeString("osName", osName);
  coder.encodeString("osVersion", osVersion);
  coder.encodeString("osBuild", osBuild);
  coder.encodeInt64("osApiLevel", osApiLevel);
  coder.encodeString("locale", locale);
  coder.encodeInt64("timeZoneOffset", timeZoneOffset);
  coder.encodeString("screenSize", screenSize);
  coder.encodeString("appVersion", appVersion);
  coder.encodeString("carrierName", carrierName);
  coder.encodeString("carrierCountry", carrierCountry);
  coder.encodeString("appBuild", appBuild);
  coder.encodeString("appNamespace", appNamespace);
}

void TLDevice::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLWrapperSdk::initWithCoder(coder);
  sdkName = coder.decodeString("sdkName");
  sdkVersion = coder.decodeString("sdkVersion");
  model = coder.decodeString("model");
  oemName = coder.decodeString("oemName");
  osName = coder.decodeString("osName");
  osVersion = coder.decodeString("osVersion");
  osBuild = coder.decodeString("osBuild");
  osApiLevel = coder.decodeInt64("osApiLevel");
  locale = coder.decodeString("locale");
  timeZoneOffset = coder.decodeInt64("timeZoneOffset");
  screenSize = coder.decodeString("screenSize");
  appVersion = coder.decodeString("appVersion");
  carrierName = coder.decodeString("carrierName");
  carrierCountry = coder.decodeString("carrierCountry");
  appBuild = coder.decodeString("appBuild");
  appNamespace = coder.decodeString("appNamespace");
}

}  // namespace ml::beacon

#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "beacon/core/CommonSchema/TLLogConversion.h"
#include "beacon/core/Context/TLSystemInfo.h"
#include "beacon/core/Context/TLUserIdContext.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {

namespace {

bool hasText(const std::optional<std::string>& text) { return text && !text->empty(); }

}  // namespace

std::optional<std::vector<std::shared_ptr<TLCommonSchemaLog>>> TLCommonSchemaConversion::toCommonSchemaLogsWithFlags(
    const TLAbstractLog& log, std::int64_t flags) {
  std::vector<std::shared_ptr<TLCommonSchemaLog>> logs;
  if (auto tokens = log.transmissionTargetTokens()) {
    for (const auto& token : *tokens) {
      if (auto converted = toCommonSchemaLogForTargetToken(log, token, flags)) logs.push_back(std::move(converted));
    }
  }
  if (logs.empty()) return std::nullopt;
  return logs;
}

std::shared_ptr<TLCommonSchemaLog> TLCommonSchemaConversion::toCommonSchemaLogForTargetToken(const TLAbstractLog& log,
                                                                                             const std::string& token,
                                                                                             std::int64_t flags) {
  if (const auto* refined = dynamic_cast<const TLLogConversion*>(&log)) {
    return refined->toCommonSchemaLogForTargetToken(token, flags);
  }
  return commonSchemaLogForTargetToken(log, token, flags);
}

std::shared_ptr<TLCommonSchemaLog> TLCommonSchemaConversion::commonSchemaLogForTargetToken(const TLAbstractLog& log,
                                                                                           const std::string& token,
                                                                                           std::int64_t flags) {
  auto csLog = std::make_shared<TLCommonSchemaLog>();
  csLog->setTransmissionTargetTokens(std::set<std::string>{token});
  csLog->ver = std::string(TLCommonSchemaLog::kSchemaVersion);
  csLog->setTimestamp(log.timestamp());
  csLog->iKey = TLUtility::iKeyFromTargetToken(token);
  csLog->flags = flags;

  // Without a device record the extensions that come from it stay empty.
  const TLDevice* device = log.device().get();
  auto ext = std::make_shared<TLCSExtensions>();

  ext->protocolExt = std::make_shared<TLProtocolExtension>();
  if (device) {
    ext->protocolExt->devMake = device->oemName;
    ext->protocolExt->devModel = device->model;
  }

  ext->userExt = std::make_shared<TLUserExtension>();
  ext->userExt->localId = TLUserIdContext::prefixedUserIdFromUserId(log.userId());
  if (device && device->locale) {
    std::string locale = *device->locale;
    std::replace(locale.begin(), locale.end(), '_', '-');
    ext->userExt->locale = std::move(locale);
  }

  ext->osExt = std::make_shared<TLOSExtension>();
  ext->appExt = std::make_shared<TLAppExtension>();
  ext->netExt = std::make_shared<TLNetExtension>();
  ext->sdkExt = std::make_shared<TLSDKExtension>();
  ext->locExt = std::make_shared<TLLocExtension>();
  if (device) {
    ext->osExt->name = device->osName;
    ext->osExt->ver = combineOsVersion(device->osVersion, device->osBuild);
    // An application without a namespace has no id (rather than an id naming nothing).
    if (hasText(device->appNamespace)) ext->appExt->appId = "I:" + *device->appNamespace;
    ext->appExt->ver = device->appVersion;
    ext->netExt->provider = device->carrierName;
    ext->sdkExt->libVer = combineSDKLibVer(device->sdkName, device->sdkVersion);
    if (device->timeZoneOffset) ext->locExt->tz = convertTimeZoneOffsetToISO8601(*device->timeZoneOffset);
  }
  ext->appExt->locale = applicationLocale();
  ext->deviceExt = std::make_shared<TLDeviceExtension>();
  csLog->ext = std::move(ext);
  return csLog;
}

std::optional<std::string> TLCommonSchemaConversion::combineOsVersion(const std::optional<std::string>& version,
                                                                      const std::optional<std::string>& build) {
  std::optional<std::string> text;
  if (hasText(version)) text = "Version " + *version;
  if (hasText(build)) text = text ? *text + " (Build " + *build + ")" : "(Build " + *build + ")";
  return text;
}

std::optional<std::string> TLCommonSchemaConversion::combineSDKLibVer(const std::optional<std::string>& name,
                                                                      const std::optional<std::string>& version) {
  if (!hasText(name) || !hasText(version)) return std::nullopt;
  return *name + "-" + *version;
}

std::string TLCommonSchemaConversion::convertTimeZoneOffsetToISO8601(std::int64_t offsetMinutes) {
  // The sign comes from the offset itself, so offsets under an hour west of UTC keep their "-".
  char sign = offsetMinutes < 0 ? '-' : '+';
  std::uint64_t magnitude = offsetMinutes < 0 ? 0 - static_cast<std::uint64_t>(offsetMinutes)
                                              : static_cast<std::uint64_t>(offsetMinutes);
  char text[48];
  std::snprintf(text, sizeof text, "%c%02llu:%02llu", sign, static_cast<unsigned long long>(magnitude / 60),
                static_cast<unsigned long long>(magnitude % 60));
  return text;
}

std::string TLCommonSchemaConversion::applicationLocale() {
  std::string identifier = TLSystemInfo::localeIdentifier();
  return identifier.substr(0, identifier.find('_'));
}

}  // namespace ml::beacon

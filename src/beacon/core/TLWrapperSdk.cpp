#include "beacon/core/TLWrapperSdk.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLWrapperSdk::TLWrapperSdk(std::optional<std::string> wrapperSdkVersion_, std::optional<std::string> wrapperSdkName_,
                           std::optional<std::string> wrapperRuntimeVersion_,
                           std::optional<std::string> liveUpdateReleaseLabel_,
                           std::optional<std::string> liveUpdateDeploymentKey_,
                           std::optional<std::string> liveUpdatePackageHash_)
    : wrapperSdkVersion(std::move(wrapperSdkVersion_)),
      wrapperSdkName(std::move(wrapperSdkName_)),
      wrapperRuntimeVersion(std::move(wrapperRuntimeVersion_)),
      liveUpdateReleaseLabel(std::move(liveUpdateReleaseLabel_)),
      liveUpdateDeploymentKey(std::move(liveUpdateDeploymentKey_)),
      liveUpdatePackageHash(std::move(liveUpdatePackageHash_)) {}

TLJsonValue TLWrapperSdk::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "wrapperSdkVersion", wrapperSdkVersion);
  putIfPresent(json, "wrapperSdkName", wrapperSdkName);
  putIfPresent(json, "wrapperRuntimeVersion", wrapperRuntimeVersion);
  putIfPresent(json, "liveUpdateReleaseLabel", liveUpdateReleaseLabel);
  putIfPresent(json, "liveUpdateDeploymentKey", liveUpdateDeploymentKey);
  putIfPresent(json, "liveUpdatePackageHash", liveUpdatePackageHash);
  return json;
}

bool TLWrapperSdk::wrapperFieldsEqual(const TLWrapperSdk& other) const {
  return wrapperSdkVersion == other.wrapperSdkVersion && wrapperSdkName == other.wrapperSdkName &&
         wrapperRuntimeVersion == other.wrapperRuntimeVersion &&
         liveUpdateReleaseLabel == other.liveUpdateReleaseLabel &&
         liveUpdateDeploymentKey == other.liveUpdateDeploymentKey && liveUpdatePackageHash == other.liveUpdatePackageHash;
}

bool TLWrapperSdk::isEqual(const TLSerializableObject& other) const {
  const auto* wrapper = dynamic_cast<const TLWrapperSdk*>(&other);
  return wrapper && wrapperFieldsEqual(*wrapper);
}

void TLWrapperSdk::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("wrapperSdkVersion", wrapperSdkVersion);
  coder.encodeString("wrapperSdkName", wrapperSdkName);
  coder.encodeString("wrapperRuntimeVersion", wrapperRuntimeVersion);
  coder.encodeString("liveUpdateReleaseLabel", liveUpdateReleaseLabel);
  coder.encodeString("liveUpdateDeploymentKey", liveUpdateDeploymentKey);
  coder.encodeString("liveUpdatePackageHash", liveUpdatePackageHash);
}

void TLWrapperSdk::initWithCoder(const TLKeyedUnarchiver& coder) {
  wrapperSdkVersion = coder.decodeString("wrapperSdkVersion");
  wrapperSdkName = coder.decodeString("wrapperSdkName");
  wrapperRuntimeVersion = coder.decodeString("wrapperRuntimeVersion");
  liveUpdateReleaseLabel = coder.decodeString("liveUpdateReleaseLabel");
  liveUpdateDeploymentKey = coder.decodeString("liveUpdateDeploymentKey");
  liveUpdatePackageHash = coder.decodeString("liveUpdatePackageHash");
}

}  // namespace ml::beacon

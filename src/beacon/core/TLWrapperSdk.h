#pragma once
// The record of a wrapper SDK (a layer that embeds the client in another runtime) and of a
// live-update package. Travels inside every device record (TLDevice derives from it).
// A plain value holder: not synchronised; fill it before sharing it between threads.
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLWrapperSdk : public TLSerializableObject {
 public:
  TLWrapperSdk() = default;
  TLWrapperSdk(std::optional<std::string> wrapperSdkVersion, std::optional<std::string> wrapperSdkName,
               std::optional<std::string> wrapperRuntimeVersion, std::optional<std::string> liveUpdateReleaseLabel,
               std::optional<std::string> liveUpdateDeploymentKey, std::optional<std::string> liveUpdatePackageHash);

  std::optional<std::string> wrapperSdkVersion;
  std::optional<std::string> wrapperSdkName;
  std::optional<std::string> wrapperRuntimeVersion;
  std::optional<std::string> liveUpdateReleaseLabel;
  std::optional<std::string> liveUpdateDeploymentKey;
  std::optional<std::string> liveUpdatePackageHash;

  static constexpr std::string_view kClassName = "TLWrapperSdk";
  std::string_view className() const override { return kClassName; }
  // One key per present field, in declaration order.
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

 protected:
  bool wrapperFieldsEqual(const TLWrapperSdk& other) const;
};

}  // namespace ml::beacon

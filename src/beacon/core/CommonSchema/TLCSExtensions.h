#pragma once
// The named extensions of a common-schema log. Its JSON has a key per extension that is present
// and yields JSON ("metadata", "protocol", "user", "device", "os", "app", "net", "sdk", "loc", in
// that order); with every extension empty it is an empty object. Extensions are shared records:
// copies of this object share them. Not synchronised.
#include <memory>

#include "beacon/core/CommonSchema/TLAppExtension.h"
#include "beacon/core/CommonSchema/TLDeviceExtension.h"
#include "beacon/core/CommonSchema/TLLocExtension.h"
#include "beacon/core/CommonSchema/TLMetadataExtension.h"
#include "beacon/core/CommonSchema/TLNetExtension.h"
#include "beacon/core/CommonSchema/TLOSExtension.h"
#include "beacon/core/CommonSchema/TLProtocolExtension.h"
#include "beacon/core/CommonSchema/TLSDKExtension.h"
#include "beacon/core/CommonSchema/TLUserExtension.h"
#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLCSExtensions : public TLSerializableObject {
 public:
  std::shared_ptr<TLMetadataExtension> metadataExt;
  std::shared_ptr<TLProtocolExtension> protocolExt;
  std::shared_ptr<TLUserExtension> userExt;
  std::shared_ptr<TLDeviceExtension> deviceExt;
  std::shared_ptr<TLOSExtension> osExt;
  std::shared_ptr<TLAppExtension> appExt;
  std::shared_ptr<TLNetExtension> netExt;
  std::shared_ptr<TLSDKExtension> sdkExt;
  std::shared_ptr<TLLocExtension> locExt;

  static constexpr std::string_view kClassName = "TLCSExtensions";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // Every present extension is valid.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

// Two absent records, or two equal ones.
template <class T>
bool sameRecord(const std::shared_ptr<T>& a, const std::shared_ptr<T>& b) {
  return (!a && !b) || (a && b && a->isEqual(*b));
}

}  // namespace ml::beacon

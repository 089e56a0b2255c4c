#pragma once
// The SDK extension: the client library ("<name>-<version>"), and the numbering the Common
// Collector channel gives each log of an instrumentation key (an epoch per process run, a
// sequence number from 1, the install id). "seq" is written only when not 0. Not synchronised.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

class TLSDKExtension : public TLSerializableObject {
 public:
  std::optional<std::string> libVer;
  std::optional<std::string> epoch;
  std::int64_t seq = 0;
  std::optional<foundation::Uuid> installId;

  static constexpr std::string_view kClassName = "TLSDKExtension";
  std::string_view className() const override { return kClassName; }
  // "libVer", "epoch", "installId" (upper-case UUID text), "seq" when not 0.
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

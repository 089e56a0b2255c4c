#pragma once
// The location extension: the time zone offset as "+hh:mm".
// A record of the common-schema extensions: writes a JSON key per present field and no JSON at
// all when no field is present. A plain value holder; not synchronised.
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLLocExtension : public TLSerializableObject {
 public:
  std::optional<std::string> tz;

  static constexpr std::string_view kClassName = "TLLocExtension";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

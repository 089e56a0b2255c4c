#pragma once
// The user extension: the prefixed user id ("c:...") and the locale ("en-US").
// A record of the common-schema extensions: writes a JSON key per present field and no JSON at
// all when no field is present. A plain value holder; not synchronised.
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLUserExtension : public TLSerializableObject {
 public:
  std::optional<std::string> localId;
  std::optional<std::string> locale;

  static constexpr std::string_view kClassName = "TLUserExtension";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// The application extension: its id ("I:" and the application namespace), version, name, the
// language it runs in, and a user id.
// A record of the common-schema extensions: writes a JSON key per present field and no JSON at
// all when no field is present. A plain value holder; not synchronised.
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLAppExtension : public TLSerializableObject {
 public:
  std::optional<std::string> appId;
  std::optional<std::string> ver;
  std::optional<std::string> name;
  std::optional<std::string> locale;
  std::optional<std::string> userId;

  static constexpr std::string_view kClassName = "TLAppExtension";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

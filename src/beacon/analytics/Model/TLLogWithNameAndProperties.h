#pragma once
// A log with string properties and a name: the common base of event and page logs.
#include <optional>
#include <string>

#include "beacon/core/TLLogWithProperties.h"

namespace ml::beacon {

class TLLogWithNameAndProperties : public TLLogWithProperties {
 public:
  std::optional<std::string> name;

  static constexpr std::string_view kClassName = "TLLogWithNameAndProperties";
  std::string_view className() const override { return kClassName; }
  // The base keys, then "name" when set.
  TLJsonValue serializeToDictionary() const override;
  // The base's validity and a name.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

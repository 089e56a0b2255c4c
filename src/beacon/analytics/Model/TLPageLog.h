#pragma once
// A page view: a name and optional string properties. Type "page".
#include "beacon/analytics/Model/TLLogWithNameAndProperties.h"

namespace ml::beacon {

class TLPageLog : public TLLogWithNameAndProperties {
 public:
  static constexpr std::string_view kType = "page";
  TLPageLog() { setType(std::string(kType)); }

  static constexpr std::string_view kClassName = "TLPageLog";
  std::string_view className() const override { return kClassName; }
  bool isEqual(const TLSerializableObject& other) const override {
    return dynamic_cast<const TLPageLog*>(&other) && TLLogWithNameAndProperties::isEqual(other);
  }
};

}  // namespace ml::beacon

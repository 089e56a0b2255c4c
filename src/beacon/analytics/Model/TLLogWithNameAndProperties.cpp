#include "beacon/analytics/Model/TLLogWithNameAndProperties.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLLogWithNameAndProperties::serializeToDictionary() const {
  TLJsonValue json = TLLogWithProperties::serializeToDictionary();
  putIfPresent(json, "name", name);
  return json;
}

bool TLLogWithNameAndProperties::isValid() const { return TLLogWithProperties::isValid() && name.has_value(); }

bool TLLogWithNameAndProperties::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLLogWithNameAndProperties*>(&other);
  return log && TLLogWithProperties::isEqual(other) && name == log->name;
}

void TLLogWithNameAndProperties::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLLogWithProperties::encodeWithCoder(coder);
  coder.encodeString("name", name);
}

void TLLogWithNameAndProperties::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLLogWithProperties::initWithCoder(coder);
  name = coder.decodeString("name");
}

}  // namespace ml::beacon

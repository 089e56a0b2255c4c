#include "beacon/core/CommonSchema/TLLocExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLLocExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "tz", tz);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLLocExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLLocExtension*>(&other);
  return record && tz == record->tz;
}

void TLLocExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("tz", tz);
}

void TLLocExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  tz = coder.decodeString("tz");
}

}  // namespace ml::beacon

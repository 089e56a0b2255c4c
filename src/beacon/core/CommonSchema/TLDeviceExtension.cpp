#include "beacon/core/CommonSchema/TLDeviceExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLDeviceExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "localId", localId);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLDeviceExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLDeviceExtension*>(&other);
  return record && localId == record->localId;
}

void TLDeviceExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("localId", localId);
}

void TLDeviceExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  localId = coder.decodeString("localId");
}

}  // namespace ml::beacon

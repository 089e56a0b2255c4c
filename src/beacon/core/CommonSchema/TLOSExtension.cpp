#include "beacon/core/CommonSchema/TLOSExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLOSExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "ver", ver);
  putIfPresent(json, "name", name);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLOSExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLOSExtension*>(&other);
  return record && name == record->name && ver == record->ver;
}

void TLOSExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("name", name);
  coder.encodeString("ver", ver);
}

void TLOSExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  name = coder.decodeString("name");
  ver = coder.decodeString("ver");
}

}  // namespace ml::beacon

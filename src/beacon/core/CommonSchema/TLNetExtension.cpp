#include "beacon/core/CommonSchema/TLNetExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLNetExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "provider", provider);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLNetExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLNetExtension*>(&other);
  return record && provider == record->provider;
}

void TLNetExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("provider", provider);
}

void TLNetExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  provider = coder.decodeString("provider");
}

}  // namespace ml::beacon

#include "beacon/core/CommonSchema/TLCSData.h"

#include "beacon/core/CommonSchema/TLJsonArchive.h"
#include "beacon/core/CommonSchema/TLOrderedDictionary.h"

namespace ml::beacon {

TLJsonValue TLCSData::serializeToDictionary() const {
  if (!properties || !properties->is_object()) return TLJsonValue();
  TLOrderedDictionary ordered(properties->size());
  for (const char* key : {"baseType", "baseData"}) {
    if (auto it = properties->find(key); it != properties->end()) ordered.setObject(*it, key);
  }
  for (const auto& item : properties->items()) ordered.setObject(item.value(), item.key());
  return ordered.toJson();
}

bool TLCSData::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLCSData*>(&other);
  return record && properties == record->properties;
}

void TLCSData::encodeWithCoder(TLKeyedArchiver& coder) const { encodeJsonObject(coder, "properties", properties); }

void TLCSData::initWithCoder(const TLKeyedUnarchiver& coder) { properties = decodeJsonObject(coder, "properties"); }

}  // namespace ml::beacon

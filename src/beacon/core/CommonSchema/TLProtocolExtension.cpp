#include "beacon/core/CommonSchema/TLProtocolExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLProtocolExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "ticketKeys", ticketKeys);
  putIfPresent(json, "devMake", devMake);
  putIfPresent(json, "devModel", devModel);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLProtocolExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLProtocolExtension*>(&other);
  return record && ticketKeys == record->ticketKeys && devMake == record->devMake && devModel == record->devModel;
}

void TLProtocolExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeStringArray("ticketKeys", ticketKeys);
  coder.encodeString("devMake", devMake);
  coder.encodeString("devModel", devModel);
}

void TLProtocolExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  ticketKeys = coder.decodeStringArray("ticketKeys");
  devMake = coder.decodeString("devMake");
  devModel = coder.decodeString("devModel");
}

}  // namespace ml::beacon

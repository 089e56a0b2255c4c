#include "beacon/core/CommonSchema/TLAppExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLAppExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "id", appId);
  putIfPresent(json, "ver", ver);
  putIfPresent(json, "name", name);
  putIfPresent(json, "locale", locale);
  putIfPresent(json, "userId", userId);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLAppExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLAppExtension*>(&other);
  return record && appId == record->appId && ver == record->ver && name == record->name && locale == record->locale && userId == record->userId;
}

void TLAppExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("id", appId);
  coder.encodeString("ver", ver);
  coder.encodeString("name", name);
  coder.encodeString("locale", locale);
  coder.encodeString("userId", userId);
}

void TLAppExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  appId = coder.decodeString("id");
  ver = coder.decodeString("ver");
  name = coder.decodeString("name");
  locale = coder.decodeString("locale");
  userId = coder.decodeString("userId");
}

}  // namespace ml::beacon

#include "beacon/core/CommonSchema/TLUserExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLUserExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "localId", localId);
  putIfPresent(json, "locale", locale);
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLUserExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLUserExtension*>(&other);
  return record && localId == record->localId && locale == record->locale;
}

void TLUserExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("localId", localId);
  coder.encodeString("locale", locale);
}

void TLUserExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  localId = coder.decodeString("localId");
  locale = coder.decodeString("locale");
}

}  // namespace ml::beacon

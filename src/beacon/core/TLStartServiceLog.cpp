#include "beacon/core/TLStartServiceLog.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLStartServiceLog::serializeToDictionary() const {
  TLJsonValue json = TLAbstractLog::serializeToDictionary();
  putIfPresent(json, "services", services);
  return json;
}

bool TLStartServiceLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLStartServiceLog*>(&other);
  return log && TLAbstractLog::isEqual(other) && services == log->services;
}

void TLStartServiceLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractLog::encodeWithCoder(coder);
  coder.encodeStringArray("services", services);
}

void TLStartServiceLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractLog::initWithCoder(coder);
  services = coder.decodeStringArray("services");
}

}  // namespace ml::beacon

#include "beacon/core/Context/TLAuthTokenInfo.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

TLJsonValue TLAuthTokenInfo::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "accountId", accountId);
  if (startTime) json["startTime"] = TLUtilityDate::dateToISO8601(*startTime);
  if (expiresOn) json["expiresOn"] = TLUtilityDate::dateToISO8601(*expiresOn);
  return json;
}

bool TLAuthTokenInfo::isEqual(const TLSerializableObject& other) const {
  const auto* info = dynamic_cast<const TLAuthTokenInfo*>(&other);
  return info && authToken == info->authToken && accountId == info->accountId && startTime == info->startTime &&
         expiresOn == info->expiresOn;
}

void TLAuthTokenInfo::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("authTokenKey", authToken);
  coder.encodeString("accountIdKey", accountId);
  coder.encodeDate("startTimeKey", startTime);
  coder.encodeDate("expiresOnKey", expiresOn);
}

void TLAuthTokenInfo::initWithCoder(const TLKeyedUnarchiver& coder) {
  authToken = coder.decodeString("authTokenKey");
  accountId = coder.decodeString("accountIdKey");
  startTime = coder.decodeDate("startTimeKey");
  expiresOn = coder.decodeDate("expiresOnKey");
}

}  // namespace ml::beacon

#include "beacon/core/CommonSchema/TLSDKExtension.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLSDKExtension::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "libVer", libVer);
  putIfPresent(json, "epoch", epoch);
  if (installId) json["installId"] = installId->string();
  if (seq != 0) json["seq"] = seq;
  if (json.empty()) return TLJsonValue();
  return json;
}

bool TLSDKExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLSDKExtension*>(&other);
  return record && libVer == record->libVer && epoch == record->epoch && seq == record->seq &&
         installId == record->installId;
}

void TLSDKExtension::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("libVer", libVer);
  coder.encodeString("epoch", epoch);
  coder.encodeInt64("seq", seq);
  if (installId) coder.encodeString("installId", installId->string());
}

void TLSDKExtension::initWithCoder(const TLKeyedUnarchiver& coder) {
  libVer = coder.decodeString("libVer");
  epoch = coder.decodeString("epoch");
  seq = coder.decodeInt64("seq").value_or(0);
  installId.reset();
  if (auto text = coder.decodeString("installId")) {
    installId = foundation::Uuid::parse(*text);
    if (!installId) coder.fail(TLKeyedUnarchiver::kCorruptArchiveError, "value of \"installId\" is not a UUID");
  }
}

}  // namespace ml::beacon

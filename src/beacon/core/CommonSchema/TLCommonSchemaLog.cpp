#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"

#include "beacon/core/CommonSchema/TLOrderedDictionary.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

TLJsonValue TLCommonSchemaLog::serializeToDictionary() const {
  TLOrderedDictionary json(7);
  if (ver) json.setObject(*ver, "ver");
  if (name) json.setObject(*name, "name");
  if (timestamp()) json.setObject(TLUtilityDate::dateToISO8601(*timestamp()), "time");
  if (iKey) json.setObject(*iKey, "iKey");
  if (flags != 0) json.setObject(flags, "flags");
  if (ext) json.setObject(ext->serializeToDictionary(), "ext");
  if (data) {
    TLJsonValue dataJson = data->serializeToDictionary();
    if (!dataJson.is_null()) json.setObject(std::move(dataJson), "data");
  }
  return json.toJson();
}

bool TLCommonSchemaLog::isValid() const { return timestamp() && ver && name; }

bool TLCommonSchemaLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLCommonSchemaLog*>(&other);
  return log && TLAbstractLog::isEqual(other) && ver == log->ver && name == log->name &&
         popSample == log->popSample && iKey == log->iKey && flags == log->flags && cV == log->cV &&
         sameRecord(ext, log->ext) && sameRecord(data, log->data);
}

void TLCommonSchemaLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractLog::encodeWithCoder(coder);
  coder.encodeString("ver", ver);
  coder.encodeString("name", name);
  coder.encodeDouble("popSample", popSample);
  coder.encodeString("iKey", iKey);
  coder.encodeInt64("flags", flags);
  coder.encodeString("cV", cV);
  coder.encodeObject("ext", ext.get());
  coder.encodeObject("data", data.get());
}

void TLCommonSchemaLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractLog::initWithCoder(coder);
  ver = coder.decodeString("ver");
  name = coder.decodeString("name");
  popSample = coder.decodeDouble("popSample").value_or(0);
  iKey = coder.decodeString("iKey");
  flags = coder.decodeInt64("flags").value_or(0);
  cV = coder.decodeString("cV");
  ext = coder.decodeObjectOfClass<TLCSExtensions>("ext");
  data = coder.decodeObjectOfClass<TLCSData>("data");
}

}  // namespace ml::beacon

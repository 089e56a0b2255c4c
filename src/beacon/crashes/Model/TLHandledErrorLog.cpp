#include "beacon/crashes/Model/TLHandledErrorLog.h"

#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLHandledErrorLog::serializeToDictionary() const {
  TLJsonValue json = TLLogWithProperties::serializeToDictionary();
  putIfPresent(json, "id", errorId);
  putRecord(json, "exception", exception);
  return json;
}

bool TLHandledErrorLog::isValid() const { return TLLogWithProperties::isValid() && errorId && exception; }

bool TLHandledErrorLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLHandledErrorLog*>(&other);
  return log && TLLogWithProperties::isEqual(other) && errorId == log->errorId &&
         recordsEqual(exception, log->exception);
}

void TLHandledErrorLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLLogWithProperties::encodeWithCoder(coder);
  coder.encodeString("id", errorId);
  coder.encodeObject("exception", exception.get());
}

void TLHandledErrorLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLLogWithProperties::initWithCoder(coder);
  errorId = coder.decodeString("id");
  exception = coder.decodeObjectOfClass<TLException>("exception");
}

}  // namespace ml::beacon

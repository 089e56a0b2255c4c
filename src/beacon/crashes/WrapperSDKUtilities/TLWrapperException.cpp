#include "beacon/crashes/WrapperSDKUtilities/TLWrapperException.h"

#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLWrapperException::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "processId", processId);
  putRecord(json, "modelException", modelException);
  return json;
}

bool TLWrapperException::isEqual(const TLSerializableObject& other) const {
  const auto* wrapper = dynamic_cast<const TLWrapperException*>(&other);
  return wrapper && processId == wrapper->processId && recordsEqual(modelException, wrapper->modelException);
}

void TLWrapperException::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeInt64("processId", processId);
  coder.encodeObject("modelException", modelException.get());
}

void TLWrapperException::initWithCoder(const TLKeyedUnarchiver& coder) {
  processId = coder.decodeInt64("processId");
  modelException = coder.decodeObjectOfClass<TLException>("modelException");
}

}  // namespace ml::beacon

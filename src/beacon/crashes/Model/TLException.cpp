#include "beacon/crashes/Model/TLException.h"

#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLException::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "type", type);
  putIfPresent(json, "message", message);
  putIfPresent(json, "stackTrace", stackTrace);
  putRecordList(json, "frames", frames);
  putRecordList(json, "innerExceptions", innerExceptions);
  putIfPresent(json, "wrapperSdkName", wrapperSdkName);
  return json;
}

bool TLException::isValid() const { return type && frames && !frames->empty(); }

bool TLException::isEqual(const TLSerializableObject& other) const {
  const auto* exception = dynamic_cast<const TLException*>(&other);
  return exception && type == exception->type && wrapperSdkName == exception->wrapperSdkName &&
         message == exception->message && recordListsEqual(frames, exception->frames) &&
         recordListsEqual(innerExceptions, exception->innerExceptions) && stackTrace == exception->stackTrace;
}

void TLException::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("type", type);
  coder.encodeString("message", message);
  coder.encodeString("stackTrace", stackTrace);
  encodeRecordList(coder, "frames", frames);
  encodeRecordList(coder, "innerExceptions", innerExceptions);
  coder.encodeString("wrapperSdkName", wrapperSdkName);
}

void TLException::initWithCoder(const TLKeyedUnarchiver& coder) {
  type = coder.decodeString("type");
  message = coder.decodeString("message");
  stackTrace = coder.decodeString("stackTrace");
  frames = decodeRecordList<TLStackFrame>(coder, "frames");
  innerExceptions = decodeRecordList<TLException>(coder, "innerExceptions");
  wrapperSdkName = coder.decodeString("wrapperSdkName");
}

}  // namespace ml::beacon

#include "beacon/crashes/Model/TLStackFrame.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLStackFrame::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "address", address);
  putIfPresent(json, "code", code);
  putIfPresent(json, "className", frameClassName);
  putIfPresent(json, "methodName", methodName);
  putIfPresent(json, "lineNumber", lineNumber);
  putIfPresent(json, "fileName", fileName);
  return json;
}

bool TLStackFrame::isEqual(const TLSerializableObject& other) const {
  const auto* frame = dynamic_cast<const TLStackFrame*>(&other);
  return frame && address == frame->address && code == frame->code && frameClassName == frame->frameClassName &&
         methodName == frame->methodName && lineNumber == frame->lineNumber && fileName == frame->fileName;
}

void TLStackFrame::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("address", address);
  coder.encodeString("code", code);
  coder.encodeString("className", frameClassName);
  coder.encodeString("methodName", methodName);
  coder.encodeInt64("lineNumber", lineNumber);
  coder.encodeString("fileName", fileName);
}

void TLStackFrame::initWithCoder(const TLKeyedUnarchiver& coder) {
  address = coder.decodeString("address");
  code = coder.decodeString("code");
  frameClassName = coder.decodeString("className");
  methodName = coder.decodeString("methodName");
  lineNumber = coder.decodeInt64("lineNumber");
  fileName = coder.decodeString("fileName");
}

}  // namespace ml::beacon

#include "beacon/crashes/Model/TLBinary.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLBinary::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "id", binaryId);
  putIfPresent(json, "startAddress", startAddress);
  putIfPresent(json, "endAddress", endAddress);
  putIfPresent(json, "name", name);
  putIfPresent(json, "path", path);
  putIfPresent(json, "architecture", architecture);
  putIfPresent(json, "primaryArchitectureId", primaryArchitectureId);
  putIfPresent(json, "architectureVariantId", architectureVariantId);
  return json;
}

bool TLBinary::isValid() const { return binaryId && startAddress && endAddress && name && path; }

bool TLBinary::isEqual(const TLSerializableObject& other) const {
  const auto* binary = dynamic_cast<const TLBinary*>(&other);
  return binary && binaryId == binary->binaryId && startAddress == binary->startAddress &&
         endAddress == binary->endAddress && name == binary->name && path == binary->path &&
         architecture == binary->architecture && primaryArchitectureId == binary->primaryArchitectureId &&
         architectureVariantId == binary->architectureVariantId;
}

void TLBinary::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("id", binaryId);
  coder.encodeString("startAddress", startAddress);
  coder.encodeString("endAddress", endAddress);
  coder.encodeString("name", name);
  coder.encodeString("path", path);
  coder.encodeString("architecture", architecture);
  coder.encodeInt64("primaryArchitectureId", primaryArchitectureId);
  coder.encodeInt64("architectureVariantId", architectureVariantId);
}

void TLBinary::initWithCoder(const TLKeyedUnarchiver& coder) {
  binaryId = coder.decodeString("id");
  startAddress = coder.decodeString("startAddress");
  endAddress = coder.decodeString("endAddress");
  name = coder.decodeString("name");
  path = coder.decodeString("path");
  architecture = coder.decodeString("architecture");
  primaryArchitectureId = coder.decodeInt64("primaryArchitectureId");
  architectureVariantId = coder.decodeInt64("architectureVariantId");
}

}  // namespace ml::beacon

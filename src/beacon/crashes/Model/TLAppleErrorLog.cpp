#include "beacon/crashes/Model/TLAppleErrorLog.h"

#include "beacon/core/TLModelJson.h"

namespace ml::beacon {

TLJsonValue TLAppleErrorLog::serializeToDictionary() const {
  TLJsonValue json = TLAbstractErrorLog::serializeToDictionary();
  putIfPresent(json, "primaryArchitectureId", primaryArchitectureId);
  putIfPresent(json, "architectureVariantId", architectureVariantId);
  putIfPresent(json, "applicationPath", applicationPath);
  putIfPresent(json, "osExceptionType", osExceptionType);
  putIfPresent(json, "osExceptionCode", osExceptionCode);
  putIfPresent(json, "osExceptionAddress", osExceptionAddress);
  putIfPresent(json, "exceptionType", exceptionType);
  putIfPresent(json, "exceptionReason", exceptionReason);
  putIfPresent(json, "selectorRegisterValue", selectorRegisterValue);
  putRecordList(json, "threads", threads);
  putRecordList(json, "binaries", binaries);
  if (registers) {
    TLJsonValue map = TLJsonValue::object();
    for (const auto& [name, value] : *registers) map[name] = value;
    json["registers"] = std::move(map);
  }
  putRecord(json, "exception", exception);
  return json;
}

bool TLAppleErrorLog::isValid() const {
  return TLAbstractErrorLog::isValid() && primaryArchitectureId && applicationPath && osExceptionType &&
         osExceptionCode && osExceptionAddress;
}

bool TLAppleErrorLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLAppleErrorLog*>(&other);
  return log && TLAbstractErrorLog::isEqual(other) && primaryArchitectureId == log->primaryArchitectureId &&
         architectureVariantId == log->architectureVariantId && applicationPath == log->applicationPath &&
         osExceptionType == log->osExceptionType && osExceptionCode == log->osExceptionCode &&
         osExceptionAddress == log->osExceptionAddress && exceptionType == log->exceptionType &&
         exceptionReason == log->exceptionReason && selectorRegisterValue == log->selectorRegisterValue &&
         recordListsEqual(threads, log->threads) && recordListsEqual(binaries, log->binaries) &&
         registers == log->registers && recordsEqual(exception, log->exception);
}

void TLAppleErrorLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLAbstractErrorLog::encodeWithCoder(coder);
  coder.encodeInt64("primaryArchitectureId", primaryArchitectureId);
  coder.encodeInt64("architectureVariantId", architectureVariantId);
  coder.encodeString("applicationPath", applicationPath);
  coder.encodeString("osExceptionType", osExceptionType);
  coder.encodeString("osExceptionCode", osExceptionCode);
  coder.encodeString("osExceptionAddress", osExceptionAddress);
  coder.encodeString("exceptionType", exceptionType);
  coder.encodeString("exceptionReason", exceptionReason);
  coder.encodeString("selectorRegisterValue", selectorRegisterValue);
  encodeRecordList(coder, "threads", threads);
  encodeRecordList(coder, "binaries", binaries);
  coder.encodeStringDictionary("registers", registers);
  coder.encodeObject("exception", exception.get());
}

void TLAppleErrorLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLAbstractErrorLog::initWithCoder(coder);
  primaryArchitectureId = coder.decodeInt64("primaryArchitectureId");
  architectureVariantId = coder.decodeInt64("architectureVariantId");
  applicationPath = coder.decodeString("applicationPath");
  osExceptionType = coder.decodeString("osExceptionType");
  osExceptionCode = coder.decodeString("osExceptionCode");
  osExceptionAddress = coder.decodeString("osExceptionAddress");
  exceptionType = coder.decodeString("exceptionType");
  exceptionReason = coder.decodeString("exceptionReason");
  selectorRegisterValue = coder.decodeString("selectorRegisterValue");
  threads = decodeRecordList<TLThread>(coder, "threads");
  binaries = decodeRecordList<TLBinary>(coder, "binaries");
  registers = coder.decodeStringDictionary("registers");
  exception = coder.decodeObjectOfClass<TLException>("exception");
}

}  // namespace ml::beacon

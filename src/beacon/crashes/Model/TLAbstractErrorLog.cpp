#include "beacon/crashes/Model/TLAbstractErrorLog.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

TLJsonValue TLAbstractErrorLog::serializeToDictionary() const {
  TLJsonValue json = TLLogWithProperties::serializeToDictionary();
  putIfPresent(json, "id", errorId);
  putIfPresent(json, "processId", processId);
  putIfPresent(json, "processName", processName);
  putIfPresent(json, "parentProcessId", parentProcessId);
  putIfPresent(json, "parentProcessName", parentProcessName);
  putIfPresent(json, "errorThreadId", errorThreadId);
  putIfPresent(json, "errorThreadName", errorThreadName);
  json["fatal"] = fatal;
  if (appLaunchTimestamp) json["appLaunchTimestamp"] = TLUtilityDate::dateToISO8601(*appLaunchTimestamp);
  putIfPresent(json, "architecture", architecture);
  return json;
}

bool TLAbstractErrorLog::isValid() const { return TLLogWithProperties::isValid() && errorId && processId && processName; }

bool TLAbstractErrorLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLAbstractErrorLog*>(&other);
  return log && TLLogWithProperties::isEqual(other) && errorId == log->errorId && processId == log->processId &&
         processName == log->processName && parentProcessId == log->parentProcessId &&
         parentProcessName == log->parentProcessName && errorThreadId == log->errorThreadId &&
         errorThreadName == log->errorThreadName && fatal == log->fatal &&
         appLaunchTimestamp == log->appLaunchTimestamp && architecture == log->architecture;
}

void TLAbstractErrorLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLLogWithProperties::encodeWithCoder(coder);
  coder.encodeString("id", errorId);
  coder.encodeInt64("processId", processId);
  coder.encodeString("processName", processName);
  coder.encodeInt64("parentProcessId", parentProcessId);
  coder.encodeString("parentProcessName", parentProcessName);
  coder.encodeInt64("errorThreadId", errorThreadId);
  coder.encodeString("errorThreadName", errorThreadName);
  coder.encodeBool("fatal", fatal);
  coder.encodeDate("appLaunchTimestamp", appLaunchTimestamp);
  coder.encodeString("architecture", architecture);
}

void TLAbstractErrorLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLLogWithProperties::initWithCoder(coder);
  errorId = coder.decodeString("id");
  processId = coder.decodeInt64("processId");
  processName = coder.decodeString("processName");
  parentProcessId = coder.decodeInt64("parentProcessId");
  parentProcessName = coder.decodeString("parentProcessName");
  errorThreadId = coder.decodeInt64("errorThreadId");
  errorThreadName = coder.decodeString("errorThreadName");
  fatal = coder.decodeBool("fatal").value_or(false);
  appLaunchTimestamp = coder.decodeDate("appLaunchTimestamp");
  architecture = coder.decodeString("architecture");
}

}  // namespace ml::beacon

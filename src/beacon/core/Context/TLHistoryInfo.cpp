#include "beacon/core/Context/TLHistoryInfo.h"

#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

// --- TLHistoryInfo

TLJsonValue TLHistoryInfo::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  if (timestamp) json["timestamp"] = TLUtilityDate::dateToISO8601(*timestamp);
  return json;
}

bool TLHistoryInfo::isEqual(const TLSerializableObject& other) const {
  const auto* info = dynamic_cast<const TLHistoryInfo*>(&other);
  return info && timestamp == info->timestamp;
}

void TLHistoryInfo::encodeWithCoder(TLKeyedArchiver& coder) const { coder.encodeDate("timestampKey", timestamp); }

void TLHistoryInfo::initWithCoder(const TLKeyedUnarchiver& coder) { timestamp = coder.decodeDate("timestampKey"); }

void TLHistoryInfo::registerArchiveClasses() {
  TLArchiveClasses::add<TLHistoryInfo>();
  TLArchiveClasses::add<TLSessionHistoryInfo>();
  TLArchiveClasses::add<TLUserIdHistoryInfo>();
  TLArchiveClasses::add<TLDeviceHistoryInfo>();
}

// --- TLSessionHistoryInfo

TLJsonValue TLSessionHistoryInfo::serializeToDictionary() const {
  TLJsonValue json = TLHistoryInfo::serializeToDictionary();
  putIfPresent(json, "sessionId", sessionId);
  return json;
}

bool TLSessionHistoryInfo::isEqual(const TLSerializableObject& other) const {
  const auto* info = dynamic_cast<const TLSessionHistoryInfo*>(&other);
  return info && TLHistoryInfo::isEqual(other) && sessionId == info->sessionId;
}

void TLSessionHistoryInfo::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLHistoryInfo::encodeWithCoder(coder);
  coder.encodeString("sessionIdKey", sessionId);
}

void TLSessionHistoryInfo::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLHistoryInfo::initWithCoder(coder);
  sessionId = coder.decodeString("sessionIdKey");
}

// --- TLUserIdHistoryInfo

TLJsonValue TLUserIdHistoryInfo::serializeToDictionary() const {
  TLJsonValue json = TLHistoryInfo::serializeToDictionary();
  putIfPresent(json, "userId", userId);
  return json;
}

bool TLUserIdHistoryInfo::isEqual(const TLSerializableObject& other) const {
  const auto* info = dynamic_cast<const TLUserIdHistoryInfo*>(&other);
  return info && TLHistoryInfo::isEqual(other) && userId == info->userId;
}

void TLUserIdHistoryInfo::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLHistoryInfo::encodeWithCoder(coder);
  coder.encodeString("userIdKey", userId);
}

void TLUserIdHistoryInfo::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLHistoryInfo::initWithCoder(coder);
  userId = coder.decodeString("userIdKey");
}

// --- TLDeviceHistoryInfo

TLJsonValue TLDeviceHistoryInfo::serializeToDictionary() const {
  TLJsonValue json = TLHistoryInfo::serializeToDictionary();
  if (device) json["device"] = device->serializeToDictionary();
  return json;
}

bool TLDeviceHistoryInfo::isEqual(const TLSerializableObject& other) const {
  const auto* info = dynamic_cast<const TLDeviceHistoryInfo*>(&other);
  if (!info || !TLHistoryInfo::isEqual(other)) return false;
  if (!device || !info->device) return !device && !info->device;
  return device->isEqual(*info->device);
}

void TLDeviceHistoryInfo::encodeWithCoder(TLKeyedArchiver& coder) const {
  TLHistoryInfo::encodeWithCoder(coder);
  coder.encodeObject("deviceKey", device.get());
}

void TLDeviceHistoryInfo::initWithCoder(const TLKeyedUnarchiver& coder) {
  TLHistoryInfo::initWithCoder(coder);
  device = coder.decodeObjectOfClass<TLDevice>("deviceKey");
}

}  // namespace ml::beacon

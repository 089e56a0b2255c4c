#include "beacon/core/TLAbstractLog.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLModelJson.h"
#include "beacon/core/TLUtilityDate.h"

namespace ml::beacon {

TLAbstractLog::TLAbstractLog(const TLAbstractLog& other)
    : TLSerializableObject(other),
      type_(other.type_),
      timestamp_(other.timestamp_),
      sid_(other.sid_),
      distributionGroupId_(other.distributionGroupId_),
      userId_(other.userId_),
      device_(other.device_),
      tag_(other.tag_),
      transmissionTargetTokens_(other.transmissionTargetTokens()) {}

TLAbstractLog& TLAbstractLog::operator=(const TLAbstractLog& other) {
  if (this == &other) return *this;
  type_ = other.type_;
  timestamp_ = other.timestamp_;
  sid_ = other.sid_;
  distributionGroupId_ = other.distributionGroupId_;
  userId_ = other.userId_;
  device_ = other.device_;
  tag_ = other.tag_;
  setTransmissionTargetTokens(other.transmissionTargetTokens());
  return *this;
}

std::optional<std::set<std::string>> TLAbstractLog::transmissionTargetTokens() const {
  std::lock_guard guard(tokensLock_);
  return transmissionTargetTokens_;
}

void TLAbstractLog::addTransmissionTargetToken(const std::string& token) {
  std::lock_guard guard(tokensLock_);
  if (!transmissionTargetTokens_) transmissionTargetTokens_.emplace();
  transmissionTargetTokens_->insert(token);
}

void TLAbstractLog::setTransmissionTargetTokens(std::optional<std::set<std::string>> tokens) {
  std::lock_guard guard(tokensLock_);
  transmissionTargetTokens_ = std::move(tokens);
}

TLJsonValue TLAbstractLog::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  putIfPresent(json, "type", type_);
  if (timestamp_) json["timestamp"] = TLUtilityDate::dateToISO8601(*timestamp_);
  putIfPresent(json, "sid", sid_);
  putIfPresent(json, "distributionGroupId", distributionGroupId_);
  putIfPresent(json, "userId", userId_);
  if (device_) json["device"] = device_->serializeToDictionary();
  return json;
}

bool TLAbstractLog::isValid() const { return type_ && timestamp_ && device_ && device_->isValid(); }

bool TLAbstractLog::isEqual(const TLSerializableObject& other) const {
  const auto* log = dynamic_cast<const TLAbstractLog*>(&other);
  if (!log) return false;
  bool devicesEqual = (!device_ && !log->device_) || (device_ && log->device_ && device_->isEqual(*log->device_));
  return tag_ == log->tag_ && type_ == log->type_ && timestamp_ == log->timestamp_ && sid_ == log->sid_ &&
         distributionGroupId_ == log->distributionGroupId_ && userId_ == log->userId_ && devicesEqual;
}

void TLAbstractLog::encodeWithCoder(TLKeyedArchiver& coder) const {
  coder.encodeString("type", type_);
  coder.encodeDate("timestamp", timestamp_);
  coder.encodeString("sid", sid_);
  coder.encodeString("distributionGroupId", distributionGroupId_);
  coder.encodeString("userId", userId_);
  coder.encodeObject("device", device_.get());
}

void TLAbstractLog::initWithCoder(const TLKeyedUnarchiver& coder) {
  type_ = coder.decodeString("type");
  timestamp_ = coder.decodeDate("timestamp");
  sid_ = coder.decodeString("sid");
  distributionGroupId_ = coder.decodeString("distributionGroupId");
  userId_ = coder.decodeString("userId");
  device_ = coder.decodeObjectOfClass<TLDevice>("device");
}

std::optional<std::string> TLAbstractLog::serializeLogWithPrettyPrinting(bool prettyPrint) const {
  return TLJson::dump(serializeToDictionary(), prettyPrint);
}

}  // namespace ml::beacon

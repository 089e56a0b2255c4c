#pragma once
// The root of every telemetry log: the fields all logs share, their JSON and archive forms.
//
// Fields are set by the sender before the log is enqueued and are not locked. The transmission
// target tokens are the exception: the channel unit, the log database and the Common Collector
// path read and add them from different threads, so they live under the log's own lock.
// Logs are shared as std::shared_ptr<TLAbstractLog>; copying a log copies every field.
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "beacon/core/TLDevice.h"
#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLAbstractLog : public TLSerializableObject {
 public:
  using Date = std::chrono::system_clock::time_point;

  TLAbstractLog() = default;
  TLAbstractLog(const TLAbstractLog& other);
  TLAbstractLog& operator=(const TLAbstractLog& other);

  const std::optional<std::string>& type() const { return type_; }
  void setType(std::optional<std::string> type) { type_ = std::move(type); }
  const std::optional<Date>& timestamp() const { return timestamp_; }
  void setTimestamp(std::optional<Date> timestamp) { timestamp_ = timestamp; }
  const std::optional<std::string>& sid() const { return sid_; }
  void setSid(std::optional<std::string> sid) { sid_ = std::move(sid); }
  const std::optional<std::string>& distributionGroupId() const { return distributionGroupId_; }
  void setDistributionGroupId(std::optional<std::string> id) { distributionGroupId_ = std::move(id); }
  const std::optional<std::string>& userId() const { return userId_; }
  void setUserId(std::optional<std::string> userId) { userId_ = std::move(userId); }
  const std::shared_ptr<const TLDevice>& device() const { return device_; }
  void setDevice(std::shared_ptr<const TLDevice> device) { device_ = std::move(device); }
  // Opaque routing tag of the sender; compared by identity, never written or archived.
  const std::shared_ptr<const void>& tag() const { return tag_; }
  void setTag(std::shared_ptr<const void> tag) { tag_ = std::move(tag); }

  // The tokens the log is also to be sent to (nothing until one is added). Under the log's lock.
  std::optional<std::set<std::string>> transmissionTargetTokens() const;
  void addTransmissionTargetToken(const std::string& token);
  void setTransmissionTargetTokens(std::optional<std::set<std::string>> tokens);

  static constexpr std::string_view kClassName = "TLAbstractLog";
  std::string_view className() const override { return kClassName; }
  // "type", "timestamp" (ISO 8601, UTC, milliseconds), "sid", "distributionGroupId", "userId",
  // "device", each only when present.
  TLJsonValue serializeToDictionary() const override;
  // type, timestamp and a valid device are present.
  bool isValid() const override;
  // Same tag (identity), type, timestamp, sid, distribution group, user and an equal device;
  // transmission target tokens are not compared.
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

  // The JSON text of serializeToDictionary(), indented when asked; nothing when it cannot be
  // written.
  std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;

 private:
  std::optional<std::string> type_;
  std::optional<Date> timestamp_;
  std::optional<std::string> sid_;
  std::optional<std::string> distributionGroupId_;
  std::optional<std::string> userId_;
  std::shared_ptr<const TLDevice> device_;
  std::shared_ptr<const void> tag_;

  mutable std::mutex tokensLock_;
  std::optional<std::set<std::string>> transmissionTargetTokens_;
};

}  // namespace ml::beacon

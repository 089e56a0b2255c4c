#pragma once
// Timestamped history records of the telemetry contexts: which session id, user id or device was
// current from a moment on. Each is a model with a keyed-archive form (coding keys
// "timestampKey", then the subclass's "sessionIdKey", "userIdKey" or "deviceKey") so a history
// survives restarts in the settings store. Plain value holders, not synchronised: the owning
// context guards them with its lock.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/TLDevice.h"
#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLHistoryInfo : public TLSerializableObject {
 public:
  using Date = std::chrono::system_clock::time_point;

  TLHistoryInfo() = default;
  explicit TLHistoryInfo(std::optional<Date> timestamp) : timestamp(timestamp) {}

  std::optional<Date> timestamp;

  static constexpr std::string_view kClassName = "TLHistoryInfo";
  std::string_view className() const override { return kClassName; }
  // {"timestamp": ISO 8601} when present.
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return timestamp.has_value(); }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

  // Makes the record classes known to the keyed archive (idempotent, thread-safe).
  static void registerArchiveClasses();
};

class TLSessionHistoryInfo : public TLHistoryInfo {
 public:
  TLSessionHistoryInfo() = default;
  TLSessionHistoryInfo(std::optional<Date> timestamp, std::optional<std::string> sessionId)
      : TLHistoryInfo(timestamp), sessionId(std::move(sessionId)) {}

  std::optional<std::string> sessionId;

  static constexpr std::string_view kClassName = "TLSessionHistoryInfo";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLUserIdHistoryInfo : public TLHistoryInfo {
 public:
  TLUserIdHistoryInfo() = default;
  TLUserIdHistoryInfo(std::optional<Date> timestamp, std::optional<std::string> userId)
      : TLHistoryInfo(timestamp), userId(std::move(userId)) {}

  std::optional<std::string> userId;

  static constexpr std::string_view kClassName = "TLUserIdHistoryInfo";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

class TLDeviceHistoryInfo : public TLHistoryInfo {
 public:
  TLDeviceHistoryInfo() = default;
  TLDeviceHistoryInfo(std::optional<Date> timestamp, std::shared_ptr<const TLDevice> device)
      : TLHistoryInfo(timestamp), device(std::move(device)) {}

  std::shared_ptr<const TLDevice> device;

  static constexpr std::string_view kClassName = "TLDeviceHistoryInfo";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// The log that reports which services the application started. Keeps the session id it was given.
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLLog.h"

namespace ml::beacon {

class TLStartServiceLog : public TLAbstractLog, public TLNoAutoAssignSessionIdLog {
 public:
  static constexpr std::string_view kType = "startService";
  TLStartServiceLog() { setType(std::string(kType)); }

  std::optional<std::vector<std::string>> services;

  static constexpr std::string_view kClassName = "TLStartServiceLog";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

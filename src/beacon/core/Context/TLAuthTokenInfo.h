#pragma once
// One entry of the auth-token history: a token (or none), its account, from when it was used and
// when it expires; coding keys "authTokenKey", "accountIdKey", "startTimeKey", "expiresOnKey".
// And the validity window of a token derived from the history (TLAuthTokenValidityInfo).
// Plain value holders, not synchronised.
#include <chrono>
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLAuthTokenInfo : public TLSerializableObject {
 public:
  using Date = std::chrono::system_clock::time_point;

  TLAuthTokenInfo() = default;
  TLAuthTokenInfo(std::optional<std::string> authToken, std::optional<std::string> accountId,
                  std::optional<Date> startTime, std::optional<Date> expiresOn)
      : authToken(std::move(authToken)), accountId(std::move(accountId)), startTime(startTime), expiresOn(expiresOn) {}

  std::optional<std::string> authToken;
  std::optional<std::string> accountId;
  std::optional<Date> startTime;
  std::optional<Date> expiresOn;

  static constexpr std::string_view kClassName = "TLAuthTokenInfo";
  std::string_view className() const override { return kClassName; }
  // The account and the dates; the token itself is never written out.
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

struct TLAuthTokenValidityInfo {
  using Date = std::chrono::system_clock::time_point;
  static constexpr std::chrono::seconds kExpiresSoonInterval{600};

  std::optional<std::string> authToken;
  std::optional<Date> startTime;
  std::optional<Date> endTime;

  // An end time exists and lies less than 600 seconds after `now`.
  bool expiresSoon(Date now) const { return endTime && now + kExpiresSoonInterval > *endTime; }
  friend bool operator==(const TLAuthTokenValidityInfo&, const TLAuthTokenValidityInfo&) = default;
};

}  // namespace ml::beacon

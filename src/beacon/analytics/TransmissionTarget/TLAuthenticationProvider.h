#pragma once
// What transmission targets need of the caller's authentication provider: token acquisition,
// the hash of its ticket key, and an expiry check. Its inner working is the caller's.
#include <string>

namespace ml::beacon {

class TLAuthenticationProvider {
 public:
  virtual ~TLAuthenticationProvider() = default;
  virtual void acquireTokenAsync() = 0;
  virtual std::string ticketKeyHash() = 0;
  virtual void checkTokenExpiry() = 0;
};

}  // namespace ml::beacon

#pragma once
// The client's own errors: its error domain (the reverse-domain prefix) and the codes the
// ingestion reports. Errors are foundation::Error values; transport errors of the HTTP layer keep
// their URL-loading domain.
#include <cstdint>
#include <string>
#include <string_view>

#include "beacon/core/TLConstants.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

// A log container that is missing, empty or holds an invalid log.
inline constexpr int kTLLogInvalidContainerErrorCode = 1;
inline constexpr std::string_view kTLLogInvalidContainerErrorDesc = "Invalid log container.";
// The server answered with an HTTP status other than 200 (the status travels with the outcome).
inline constexpr int kTLConnectionHttpErrorCode = 101;
inline constexpr std::string_view kTLConnectionHttpErrorDesc = "An HTTP error occured.";

inline foundation::Error makeTLError(int code, std::string_view description) {
  return foundation::Error::make(std::string(kTLReverseDomainPrefix), code, std::string(description));
}

}  // namespace ml::beacon

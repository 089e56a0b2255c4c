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
// The server answered with an HTTP status outside 2xx; the error carries the status under
// kTLConnectionHttpCodeKey, so that a channel's listeners see why their logs failed.
inline constexpr int kTLConnectionHttpErrorCode = 101;
inline constexpr std::string_view kTLConnectionHttpErrorDesc = "An HTTP error occured.";
inline constexpr const char* kTLConnectionHttpCodeKey = "TLConnectionHttpCode";

inline foundation::Error makeTLError(int code, std::string_view description) {
  return foundation::Error::make(std::string(kTLReverseDomainPrefix), code, std::string(description));
}

// The error of a call the server answered with `status`.
inline foundation::Error makeTLHttpError(int status) {
  foundation::Error error = makeTLError(kTLConnectionHttpErrorCode, kTLConnectionHttpErrorDesc);
  error.userInfo[kTLConnectionHttpCodeKey] = status;
  return error;
}

}  // namespace ml::beacon

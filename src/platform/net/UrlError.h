#pragma once
// Transport errors of HTTP transfers, in the URL-loading error domain and with its codes, so
// callers test them the same way whatever client sits beneath. Messages carry the client's
// own explanation.
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"

namespace ml::net {

inline constexpr const char* kUrlErrorDomain = "NSURLErrorDomain";

enum class UrlErrorCode : int {
  unknown = -1,
  cancelled = -999,
  badURL = -1000,
  timedOut = -1001,
  unsupportedURL = -1002,
  cannotFindHost = -1003,
  cannotConnectToHost = -1004,
  networkConnectionLost = -1005,
  notConnectedToInternet = -1009,
  badServerResponse = -1011,
  dataLengthExceedsMaximum = -1103,
  secureConnectionFailed = -1200,
  serverCertificateUntrusted = -1202,
};

foundation::Error makeUrlError(UrlErrorCode code, std::string_view detail = {});
bool isUrlError(const foundation::Error& error, UrlErrorCode code);

}  // namespace ml::net

#include "platform/net/UrlError.h"

namespace ml::net {

namespace {
std::string_view defaultText(UrlErrorCode code) {
  switch (code) {
    case UrlErrorCode::cancelled: return "cancelled";
    case UrlErrorCode::badURL: return "bad URL";
    case UrlErrorCode::timedOut: return "The request timed out.";
    case UrlErrorCode::unsupportedURL: return "unsupported URL";
    case UrlErrorCode::cannotFindHost: return "A server with the specified hostname could not be found.";
    case UrlErrorCode::cannotConnectToHost: return "Could not connect to the server.";
    case UrlErrorCode::networkConnectionLost: return "The network connection was lost.";
    case UrlErrorCode::notConnectedToInternet: return "The Internet connection appears to be offline.";
    case UrlErrorCode::badServerResponse: return "The server answered with a malformed response.";
    case UrlErrorCode::dataLengthExceedsMaximum: return "The response exceeds the maximum allowed size.";
    case UrlErrorCode::secureConnectionFailed: return "A TLS error occurred and a secure connection could not be made.";
    case UrlErrorCode::serverCertificateUntrusted: return "The certificate for this server is invalid.";
    case UrlErrorCode::unknown: break;
  }
  return "An unknown error occurred.";
}
}  // namespace

foundation::Error makeUrlError(UrlErrorCode code, std::string_view detail) {
  std::string message(defaultText(code));
  if (!detail.empty()) message += " (" + std::string(detail) + ")";
  return foundation::Error::make(kUrlErrorDomain, static_cast<int>(code), std::move(message));
}

bool isUrlError(const foundation::Error& error, UrlErrorCode code) {
  return error.domain == kUrlErrorDomain && error.code == static_cast<int>(code);
}

}  // namespace ml::net

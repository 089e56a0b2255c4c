#include "platform/net/CurlErrors.h"

#include <curl/curl.h>

#include <cerrno>
#include <string>

#include "platform/net/UrlError.h"

namespace ml::net {

foundation::Error urlErrorForCurlFailure(const CurlFailure& failure) {
  std::string detail = failure.detail.empty() ? std::string(curl_easy_strerror(static_cast<CURLcode>(failure.curlCode)))
                                              : std::string(failure.detail);
  if (failure.cancelled) return makeUrlError(UrlErrorCode::cancelled);
  if (failure.bodyTooLarge) return makeUrlError(UrlErrorCode::dataLengthExceedsMaximum);
  if (failure.headersTooLarge) return makeUrlError(UrlErrorCode::badServerResponse, "header block too large");

  switch (static_cast<CURLcode>(failure.curlCode)) {
    case CURLE_URL_MALFORMAT:
      return makeUrlError(UrlErrorCode::badURL, detail);
    case CURLE_UNSUPPORTED_PROTOCOL:
      return makeUrlError(UrlErrorCode::unsupportedURL, detail);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return makeUrlError(UrlErrorCode::cannotFindHost, detail);
    case CURLE_COULDNT_CONNECT:
      // No route at all means the machine is offline; a refusal or a dead host is the server's.
      if (failure.osErrno == ENETUNREACH || failure.osErrno == ENETDOWN)
        return makeUrlError(UrlErrorCode::notConnectedToInternet, detail);
      return makeUrlError(UrlErrorCode::cannotConnectToHost, detail);
    case CURLE_OPERATION_TIMEDOUT:
      return makeUrlError(UrlErrorCode::timedOut, detail);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
      return makeUrlError(UrlErrorCode::serverCertificateUntrusted, detail);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
      return makeUrlError(UrlErrorCode::secureConnectionFailed, detail);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return makeUrlError(UrlErrorCode::networkConnectionLost, detail);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_WRITE_ERROR:
      return makeUrlError(UrlErrorCode::badServerResponse, detail);
    case CURLE_ABORTED_BY_CALLBACK:
      return makeUrlError(UrlErrorCode::cancelled, detail);
    default:
      return makeUrlError(UrlErrorCode::unknown, detail);
  }
}

}  // namespace ml::net

#pragma once
// What a finished transfer hands its completion: the response (absent when the exchange failed
// before a complete answer arrived), the body bytes, and the transport error, if any.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"
#include "platform/net/HttpHeaders.h"

namespace ml::net {

struct HttpResponse {
  int statusCode = 0;
  HttpHeaders headers;  // of the final answer (interim 1xx answers are dropped)
  std::string url;      // the URL that answered
};

struct HttpOutcome {
  std::optional<HttpResponse> response;
  std::vector<std::uint8_t> body;
  // A transport error in the URL-loading domain (UrlError.h); absent when an answer arrived,
  // whatever its status.
  std::optional<foundation::Error> error;
};

using HttpCompletion = std::function<void(const HttpOutcome& outcome)>;

}  // namespace ml::net

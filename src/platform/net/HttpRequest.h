#pragma once
// One HTTP request as a session sends it. The body is sent as it is (callers compress it and set
// "Content-Encoding" themselves). Cookies are never stored or sent by the sessions of this module.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/net/HttpHeaders.h"

namespace ml::net {

struct HttpRequest {
  std::string url;
  std::string method = "GET";
  HttpHeaders headers;
  std::vector<std::uint8_t> body;
  // Bound on the whole exchange; the session's configured time-out when absent.
  std::optional<dispatch::Duration> timeout;
};

}  // namespace ml::net

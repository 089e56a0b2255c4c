#pragma once
// Maps the HTTP client library's transfer results to URL-loading errors (UrlError.h), so that
// product code tells "offline", "connection lost", "time-out" and "TLS failure" apart the same way
// whatever client runs beneath it.
#include <string_view>

#include "platform/foundation/Result.h"

namespace ml::net {

struct CurlFailure {
  int curlCode = 0;      // the transfer's CURLcode
  int osErrno = 0;       // the last socket errno the library saw (CURLINFO_OS_ERRNO), 0 if none
  bool bodyTooLarge = false;     // the write callback refused more body bytes
  bool headersTooLarge = false;  // the header callback refused the block
  bool cancelled = false;        // ended by cancel()
  std::string_view detail;       // the library's error text
};

foundation::Error urlErrorForCurlFailure(const CurlFailure& failure);

}  // namespace ml::net

#pragma once
// Status-code and transport-error tests of the ingestion, and the masking of secrets in the
// client's own log output. Stateless and thread-safe.
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLHttpUtil {
 public:
  TLHttpUtil() = delete;

  // 0 (no answer), 408, 429 and every status from 500 up are worth retrying.
  static bool isRecoverableError(long statusCode);
  static bool isSuccessStatusCode(long statusCode);  // 200 <= status < 300
  // 300 <= status < 400. Never followed; an ingestion call treats it as a recoverable failure.
  static bool isRedirection(long statusCode);
  // The URL-loading domain with "not connected to the internet" (-1009) or "connection lost"
  // (-1005).
  static bool isNoInternetConnectionError(const foundation::Error& error);
  // The URL-loading domain with a code in [-2000, -1200] (TLS and certificate failures).
  static bool isSSLConnectionError(const foundation::Error& error);
  static bool isCancelledError(const foundation::Error& error);  // URL-loading domain, -999

  // Texts of 8 bytes or fewer become all "*"; longer ones keep their last 8 and every earlier
  // byte becomes "*".
  static std::string hideSecret(std::string_view secret);
  // More than one blank-separated part: the first part and " ***" ("Bearer ***"); one part:
  // "***".
  static std::string hideAuthToken(std::string_view token);
  // Replaces the value of every "token" field of a JSON text (any case, any spacing around the
  // colon, escaped quotes inside the value respected) by "***". Works on any text, also
  // truncated or malformed JSON, in one pass without recursion.
  static std::string hideTokensInJsonText(std::string_view text);
};

}  // namespace ml::beacon

#pragma once
// The text of an errno value ("No such file or directory"). Thread-safe: strerror itself may
// share one buffer between threads, strerror_r does not. Header-only so the error type of the
// layers above (foundation's Result) words system errors the same way without linking logging.
#include <cstring>
#include <string>

namespace ml::logging {

namespace detail {
// strerror_r comes in a GNU flavour (returns the text) and an XSI one (fills the buffer); the
// overloads pick whichever this C library declares.
inline const char* strerrorResult(const char* text, const char*) { return text; }
inline const char* strerrorResult(int status, const char* buffer) {
  return status == 0 ? buffer : "Unknown error";
}
}  // namespace detail

inline std::string errnoText(int errnoValue) {
  char buffer[256] = {};
  return detail::strerrorResult(strerror_r(errnoValue, buffer, sizeof buffer), buffer);
}

}  // namespace ml::logging

#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
#include <optional>
#include <string>
#include <string_view>

#include "platform/security/Bytes.h"

namespace ml::security {

class Base64 {
 public:
  static std::string encode(ByteView data);
  // Strict decoding: the length must be a multiple of 4, only the standard alphabet is accepted,
  // padding may only end the text, and unused bits of the last group must be zero. Anything else
  // (white space and line breaks included) answers nothing.
  static std::optional<Bytes> decode(std::string_view text);
};

}  // namespace ml::security

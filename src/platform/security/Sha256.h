#pragma once
// SHA-256 digests (OpenSSL EVP).
#include <array>
#include <string>

#include "platform/security/Bytes.h"

namespace ml::security {

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;
  static Digest digest(ByteView data);
  // Lower-case hexadecimal text of the digest, 64 characters.
  static std::string hex(ByteView data);
};

}  // namespace ml::security

#include "platform/security/Sha256.h"

#include <openssl/evp.h>

namespace ml::security {

Sha256::Digest Sha256::digest(ByteView data) {
  Digest out{};
  unsigned int length = 0;
  // EVP_Digest with SHA-256 only fails on allocation failure; the digest is then all zero, which
  // no caller can confuse with a real digest of useful input.
  EVP_Digest(data.data(), data.size(), out.data(), &length, EVP_sha256(), nullptr);
  return out;
}

std::string Sha256::hex(ByteView data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  Digest d = digest(data);
  std::string text;
  text.reserve(d.size() * 2);
  for (std::uint8_t byte : d) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0f]);
  }
  return text;
}

}  // namespace ml::security

#pragma once
// AES-256 in CBC mode with PKCS#7 padding, one whole buffer at a time (OpenSSL EVP).
#include <optional>

#include "platform/security/Bytes.h"

namespace ml::security {

class Aes256Cbc {
 public:
  static constexpr std::size_t kKeySize = 32;
  static constexpr std::size_t kBlockSize = 16;  // also the IV size

  enum class Operation { encrypt, decrypt };

  // One encryption or decryption of `input`. `key` must be 32 bytes; `iv` must be 16 bytes or
  // empty, empty meaning an all-zero IV. Answers nothing for a wrong key or IV size, a decryption
  // input that is not a whole number of blocks, a bad padding, or any OpenSSL failure.
  // Thread-safe (no shared state).
  static std::optional<Bytes> perform(Operation operation, ByteView input, ByteView iv, ByteView key);

  static std::optional<Bytes> encrypt(ByteView plaintext, ByteView iv, ByteView key) {
    return perform(Operation::encrypt, plaintext, iv, key);
  }
  static std::optional<Bytes> decrypt(ByteView ciphertext, ByteView iv, ByteView key) {
    return perform(Operation::decrypt, ciphertext, iv, key);
  }
};

}  // namespace ml::security

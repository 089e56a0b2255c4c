#include "platform/security/Aes256Cbc.h"

#include <array>
#include <climits>
#include <memory>

#include <openssl/evp.h>

namespace ml::security {

namespace {
struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;
}  // namespace

std::optional<Bytes> Aes256Cbc::perform(Operation operation, ByteView input, ByteView iv, ByteView key) {
  if (key.size() != kKeySize) return std::nullopt;
  if (!iv.empty() && iv.size() != kBlockSize) return std::nullopt;
  // EVP takes int lengths; one block of headroom is needed for the padding.
  if (input.size() > static_cast<std::size_t>(INT_MAX) - kBlockSize) return std::nullopt;
  if (operation == Operation::decrypt && (input.empty() || input.size() % kBlockSize != 0)) {
    return std::nullopt;
  }

  std::array<std::uint8_t, kBlockSize> zeroIv{};
  const std::uint8_t* ivBytes = iv.empty() ? zeroIv.data() : iv.data();

  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context) return std::nullopt;
  int encrypting = operation == Operation::encrypt ? 1 : 0;
  if (EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), ivBytes, encrypting) != 1) {
    return std::nullopt;
  }
  // PKCS#7 padding is EVP's default; set it anyway so the contract does not hang on a default.
  EVP_CIPHER_CTX_set_padding(context.get(), 1);

  Bytes output(input.size() + kBlockSize);
  int written = 0;
  if (EVP_CipherUpdate(context.get(), output.data(), &written, input.data(), static_cast<int>(input.size())) != 1) {
    return std::nullopt;
  }
  int tail = 0;
  if (EVP_CipherFinal_ex(context.get(), output.data() + written, &tail) != 1) return std::nullopt;
  output.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(tail));
  return output;
}

}  // namespace ml::security

#pragma once
// Gzip compression of request bodies (zlib deflate with the gzip wrapper, default level).
// Stateless and thread-safe.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ml::beacon {

class TLCompression {
 public:
  TLCompression() = delete;

  // The gzip form of `data`; nothing for empty data (without a message) or when zlib fails
  // (with an error line naming the failure).
  static std::optional<std::vector<std::uint8_t>> compressData(std::span<const std::uint8_t> data);
};

}  // namespace ml::beacon

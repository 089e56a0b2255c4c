#pragma once
// The byte buffer type of the security module: keys, IVs, ciphertexts and key-store items.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ml::security {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string asString(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace ml::security

#include "platform/security/Base64.h"

#include <array>

namespace ml::security {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}
constexpr auto kDecode = makeDecodeTable();

}  // namespace

std::string Base64::encode(ByteView data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(kAlphabet[(n >> 6) & 63]);
    out.push_back(kAlphabet[n & 63]);
  }
  std::size_t rest = data.size() - i;
  if (rest == 1) {
    std::uint32_t n = std::uint32_t{data[i]} << 16;
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.append("==");
  } else if (rest == 2) {
    std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(kAlphabet[(n >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

std::optional<Bytes> Base64::decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int padding = 0;
    if (last) {
      if (text[i + 3] == '=') ++padding;
      if (text[i + 2] == '=') ++padding;
      if (padding == 1 && text[i + 2] == '=') return std::nullopt;  // "x=y=" shapes
    }
    std::uint32_t n = 0;
    for (int k = 0; k < 4; ++k) {
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if (k >= 4 - padding) {
        n <<= 6;
        continue;
      }
      std::int8_t value = kDecode[c];
      if (value < 0) return std::nullopt;
      n = (n << 6) | static_cast<std::uint32_t>(value);
    }
    // Bits that padding leaves unused must be zero, so each byte string has one encoding.
    if (padding == 1 && (n & 0xff) != 0) return std::nullopt;
    if (padding == 2 && (n & 0xffff) != 0) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(n >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

}  // namespace ml::security

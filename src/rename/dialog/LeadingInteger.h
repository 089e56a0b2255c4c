#pragma once
// The number a length field holds, read as the platform reads an integer from typed text:
// leading white space skipped, an optional sign, then decimal digits up to the first other
// character ("12ab" is 12, "-3" is -3, text that starts with no number is 0). Values beyond the
// 64-bit range give the nearest end of it.
#include <cstdint>
#include <limits>
#include <string_view>

namespace ml::rename {

inline std::int64_t leadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = negative ? static_cast<std::uint64_t>(kMax) + 1 : static_cast<std::uint64_t>(kMax);
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  if (magnitude == limit) return std::numeric_limits<std::int64_t>::min();
  return -static_cast<std::int64_t>(magnitude);
}

}  // namespace ml::rename

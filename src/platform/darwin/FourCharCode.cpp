#include "platform/darwin/FourCharCode.h"

#include <array>
#include <cstdio>

#include "platform/darwin/MacRoman.h"

namespace ml::darwin {

std::optional<FourCharCode> parseFourCharCode(std::string_view text) {
  auto bytes = encodeMacRoman(text);
  if (!bytes || bytes->size() != 4) return std::nullopt;
  FourCharCode code = 0;
  for (uint8_t b : *bytes) code = (code << 8) | b;
  return code;
}

FourCharCode fourCharCode(std::string_view text) {
  if (auto code = parseFourCharCode(text)) return *code;
  // Goes to standard output on purpose: a diagnostic for the developer, not a logged failure.
  std::string line = "FourCharCode: Can't initialize with '";
  line.append(text);
  line += "', only printable ASCII allowed. Setting to '?\?\?\?'.\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return kUnknownFourCharCode;
}

std::optional<std::string> fourCharCodeString(FourCharCode code) {
  if (code == 0) return std::nullopt;
  const std::array<uint8_t, 4> bytes = {static_cast<uint8_t>(code >> 24),
                                        static_cast<uint8_t>(code >> 16),
                                        static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
  return decodeMacRoman(bytes);
}

}  // namespace ml::darwin

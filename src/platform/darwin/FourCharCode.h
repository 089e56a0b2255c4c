#pragma once
// Four-character codes: classic type, creator and resource-type codes, four 8-bit Mac Roman
// characters in a 32-bit value with the first character in the most significant byte
// ("vers" is 0x76657273).
//
// Text is decoded from and encoded to Mac Roman, so every code that has a text form converts
// back to the same value (a code holding 0xA5 reads as "•" and writes back as 0xA5). Text that
// is not four Mac Roman characters is never an error: the conversion prints one line to
// standard output and answers the code "????", and the caller goes on with it.
// Stateless; any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ml::darwin {

using FourCharCode = uint32_t;

inline constexpr FourCharCode kUnknownFourCharCode = 0x3F3F3F3F;  // "????"

// The code of exactly four characters, or nullopt (nothing printed).
std::optional<FourCharCode> parseFourCharCode(std::string_view text);

// The code of `text`; otherwise prints "FourCharCode: Can't initialize with '<text>', only
// printable ASCII allowed. Setting to '????'." and answers kUnknownFourCharCode.
FourCharCode fourCharCode(std::string_view text);

// The code as text; nullopt for the code 0, which has none.
std::optional<std::string> fourCharCodeString(FourCharCode code);

// A code written in the source as ASCII: "vers"_4cc. Checked at compile time.
consteval FourCharCode operator""_4cc(const char* text, std::size_t length) {
  if (length != 4) throw "a four-character code needs four characters";
  FourCharCode code = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) throw "write non-ASCII codes as numbers";
    code = (code << 8) | c;
  }
  return code;
}

}  // namespace ml::darwin

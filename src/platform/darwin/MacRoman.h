#pragma once
// The Mac OS Roman character set: the one-byte encoding of classic type and creator codes,
// resource names and version strings. Every byte has a character, so decoding cannot fail;
// encoding fails for text holding a character outside the set.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ml::darwin {

// Bytes as UTF-8 text, one character per byte (0x00-0x7F are ASCII, NUL included).
std::string decodeMacRoman(std::span<const uint8_t> bytes);

// UTF-8 text as Mac Roman bytes, one byte per character; nullopt when the text is not valid
// UTF-8 or holds a character the set lacks.
std::optional<std::vector<uint8_t>> encodeMacRoman(std::string_view utf8);

// The Mac Roman byte of one Unicode code point, or nullopt.
std::optional<uint8_t> macRomanByte(char32_t codePoint);

// Splits UTF-8 text into code points; nullopt for malformed input (overlong forms, surrogates,
// values past U+10FFFF, truncated sequences).
std::optional<std::u32string> decodeUtf8(std::string_view utf8);

// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace ml::darwin

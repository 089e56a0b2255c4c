#include "beacon/core/Utf8.h"

namespace ml::beacon::utf8 {

std::size_t sequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // allowed range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;   // no overlong forms
    if (lead == 0xed) high = 0x9f;  // no surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;   // no overlong forms
    if (lead == 0xf4) high = 0x8f;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  if (text.size() < length) return 1;
  if (byte(1) < low || byte(1) > high) return 1;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 1;
  }
  return length;
}

std::size_t codePointCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    text.remove_prefix(sequenceLength(text));
    ++count;
  }
  return count;
}

bool isValid(std::string_view text) {
  while (!text.empty()) {
    std::size_t length = sequenceLength(text);
    if (length == 1 && static_cast<unsigned char>(text[0]) >= 0x80) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string_view prefix(std::string_view text, std::size_t maxCodePoints) {
  std::size_t end = 0;
  for (std::size_t n = 0; n < maxCodePoints && end < text.size(); ++n) {
    end += sequenceLength(text.substr(end));
  }
  return text.substr(0, end);
}

}  // namespace ml::beacon::utf8

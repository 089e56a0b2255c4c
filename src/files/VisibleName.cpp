#include "files/VisibleName.h"

namespace ml::files {

namespace {

// UTF-8 of U+2400 + `offset` (the Control Pictures block: U+2400 to U+2426).
void appendControlPicture(std::string& out, unsigned offset) {
  const unsigned code = 0x2400 + offset;
  out += static_cast<char>(0xE0 | (code >> 12));
  out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (code & 0x3F));
}

constexpr unsigned kNewlinePicture = 0x24;  // U+2424 SYMBOL FOR NEWLINE
constexpr unsigned kDeletePicture = 0x21;   // U+2421 SYMBOL FOR DELETE

}  // namespace

std::string visibleName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte == '\n') {
      appendControlPicture(out, kNewlinePicture);
    } else if (byte < 0x20) {
      appendControlPicture(out, byte);
    } else if (byte == 0x7F) {
      appendControlPicture(out, kDeletePicture);
    } else if (byte == 0xE2 && i + 2 < name.size() && static_cast<unsigned char>(name[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(name[i + 2]) == 0xA8 || static_cast<unsigned char>(name[i + 2]) == 0xA9)) {
      // U+2028 LINE SEPARATOR, U+2029 PARAGRAPH SEPARATOR: line breaks to a text view.
      appendControlPicture(out, kNewlinePicture);
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace ml::files

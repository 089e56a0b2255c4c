#include "files/VisibleName.h"

namespace ml::files {

namespace {

// Marks drawn by the fonts a desktop has (the Control Pictures block, U+2400 on, is missing from
// the common ones and shows as an empty box).
constexpr std::string_view kNewlineMark = "\u21B5";  // ↵ DOWNWARDS ARROW WITH CORNER LEFTWARDS
constexpr std::string_view kTabMark = "\u21E5";      // ⇥ RIGHTWARDS ARROW TO BAR

bool isLineSeparator(std::string_view name, std::size_t i) {
  // U+2028 LINE SEPARATOR, U+2029 PARAGRAPH SEPARATOR: line breaks to a text view.
  return static_cast<unsigned char>(name[i]) == 0xE2 && i + 2 < name.size() &&
         static_cast<unsigned char>(name[i + 1]) == 0x80 &&
         (static_cast<unsigned char>(name[i + 2]) == 0xA8 || static_cast<unsigned char>(name[i + 2]) == 0xA9);
}

}  // namespace

std::string visibleName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte == '\n') {
      out += kNewlineMark;
    } else if (byte == '\t') {
      out += kTabMark;
    } else if (byte < 0x20 || byte == 0x7F) {
      // Caret notation: ^@ for NUL, ^[ for escape, ^? for DEL.
      out += '^';
      out += static_cast<char>(byte ^ 0x40);
    } else if (isLineSeparator(name, i)) {
      out += kNewlineMark;
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace ml::files

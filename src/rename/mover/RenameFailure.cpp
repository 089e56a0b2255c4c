#include "rename/mover/RenameFailure.h"

#include <algorithm>

#include "rename/mover/ItemName.h"

namespace ml::rename {

namespace {

// The length of the UTF-8 sequence that starts with `lead`; 1 for a byte that starts none.
size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string breakableText(const std::string& text, size_t run) {
  static const std::string kZeroWidthSpace = "\u200B";
  std::string out;
  out.reserve(text.size() + text.size() / (run ? run : 1) * kZeroWidthSpace.size());
  size_t unbroken = 0;
  for (size_t i = 0; i < text.size();) {
    size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 1;  // not a whole sequence
    }
    const char c = text[i];
    if (c == ' ' || c == '\n' || c == '\t') {
      unbroken = 0;
    } else if (run && unbroken == run) {
      out += kZeroWidthSpace;
      unbroken = 0;
    }
    out.append(text, i, length);
    if (c != ' ' && c != '\n' && c != '\t') ++unbroken;
    i += length;
  }
  return out;
}

std::string renameFailureText(const files::Path& item, const foundation::Error& error) {
  return breakableText("\u201C" + itemName(item) + "\u201D: " + error.message);
}

}  // namespace ml::rename

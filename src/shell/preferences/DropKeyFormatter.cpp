#include "shell/preferences/DropKeyFormatter.h"

namespace ml::shell {

namespace {

const char* glyphOf(ModifierKeys member) {
  if (member == ModifierKeys::option) return "\u2325";   // ⌥
  if (member == ModifierKeys::control) return "\u2303";  // ⌃
  if (member == ModifierKeys::command) return "\u2318";  // ⌘
  if (member == ModifierKeys::shift) return "\u21E7";    // ⇧
  return "";
}

// The length of the UTF-8 sequence led by `lead`, or 1 for a byte that leads none.
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::vector<std::string> splitCharacters(const std::string& text) {
  std::vector<std::string> characters;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
    bool whole = i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    }
    if (!whole) length = 1;
    characters.push_back(text.substr(i, length));
    i += length;
  }
  return characters;
}

const std::vector<ModifierKeys>& DropKeyFormatter::fieldOrder() {
  static const std::vector<ModifierKeys> order = {ModifierKeys::option, ModifierKeys::control, ModifierKeys::command,
                                                  ModifierKeys::shift};
  return order;
}

const std::vector<ModifierKeys>& DropKeyFormatter::sheetOrder() {
  static const std::vector<ModifierKeys> order = {ModifierKeys::control, ModifierKeys::option, ModifierKeys::command,
                                                  ModifierKeys::shift};
  return order;
}

std::string DropKeyFormatter::glyphs(ModifierKeys modifiers, const std::vector<ModifierKeys>& order) {
  std::string text;
  for (ModifierKeys member : order) {
    if (modifiers.contains(member) && !member.isEmpty()) text += glyphOf(member);
  }
  return text;
}

std::optional<std::string> DropKeyFormatter::string(const std::optional<DropKeys>& value) {
  if (!value) return std::nullopt;
  std::string text = value->modifiers ? glyphs(*value->modifiers, fieldOrder()) : std::string();
  if (!value->characters) return text;
  if (!text.empty()) text += ' ';
  std::vector<std::string> characters = splitCharacters(*value->characters);
  for (auto& character : characters) {
    if (character == " ") {
      character = kSpaceKeyName;
      break;
    }
  }
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i > 0) text += '+';
    text += characters[i];
  }
  return text;
}

}  // namespace ml::shell

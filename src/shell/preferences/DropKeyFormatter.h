#pragma once
// Shows a drop-key binding as the text of its field: the modifier glyphs in the order option ⌥,
// control ⌃, command ⌘, shift ⇧, a space, then the characters joined by "+", with the space bar
// shown as "space". "⌥⌘ K", "K", "⌘", "⇧ space".
//
// On this platform ⌘ is the Ctrl key, ⌥ Alt, ⌃ Super and ⇧ Shift (see ModifierKeys).
#include <optional>
#include <string>
#include <vector>

#include "shell/coding/DropKeys.h"

namespace ml::shell {

class DropKeyFormatter {
 public:
  // The text for a field's value; no value gives no text.
  static std::optional<std::string> string(const std::optional<DropKeys>& value);

  // The glyphs of the modifiers present, in the order given (other bits are ignored).
  static std::string glyphs(ModifierKeys modifiers, const std::vector<ModifierKeys>& order);

  // The field's glyph order, and the binding sheet's (control, option, command, shift).
  static const std::vector<ModifierKeys>& fieldOrder();
  static const std::vector<ModifierKeys>& sheetOrder();
};

// The name the space bar is shown by.
inline constexpr const char* kSpaceKeyName = "space";

// Splits UTF-8 text into its characters (code points; malformed bytes stand alone).
std::vector<std::string> splitCharacters(const std::string& text);

}  // namespace ml::shell

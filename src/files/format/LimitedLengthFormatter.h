#pragma once
// Cuts text to a maximum number of characters as the user sees them (grapheme clusters: "é"
// written as e + combining accent, a flag or a family emoji each count once), so a cut never
// splits a character. Text is UTF-8; invalid bytes count as one character each and are kept as
// they are. Const calls are safe from any thread.
#include <any>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ml::files {

class LimitedLengthFormatter {
 public:
  // Throws std::invalid_argument when maxLength is negative.
  explicit LimitedLengthFormatter(int maxLength);

  int maxLength() const { return maxLength_; }

  // The text unchanged when it has at most maxLength characters, else its first maxLength.
  std::string format(std::string_view text) const;
  // A field's object value: a std::string or const char* is cut, anything else gives nullopt.
  std::optional<std::string> string(const std::any& value) const;

  // The object value of edited text is the text itself; this never fails.
  static std::string objectValue(std::string_view edited) { return std::string(edited); }

 private:
  int maxLength_;
};

// The byte length of the first `count` grapheme clusters of UTF-8 `text` (all of it when it has
// fewer), by the ICU default locale's character rules.
std::size_t graphemePrefixLength(std::string_view text, std::size_t count);

}  // namespace ml::files

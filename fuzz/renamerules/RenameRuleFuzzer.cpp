// Feeds arbitrary patterns, replacement templates and names through the renaming rule: every
// input must give a name or an error, never a crash, an endless match or a read out of bounds.
//
// Input: one byte of settings, then pattern, template and name separated by NUL bytes.
//   bits 0-1 replacement mode, 2-3 match location, 4 case-insensitive, 5 extensions preserved,
//   6 regular expression (else plain replace), 7 a length limit of 8 with a title case.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rename/rules/BasicRenamingStrategy.h"
#include "rename/rules/ReplacementTemplate.h"
#include "rename/rules/UnicodeText.h"

using namespace ml::rename;

namespace {

std::string_view nextField(std::string_view& rest) {
  const auto end = rest.find('\0');
  std::string_view field = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const uint8_t settings = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string pattern(nextField(rest));
  const std::string replacement(nextField(rest));
  const std::string name(nextField(rest));

  const auto mode = static_cast<ReplacementMode>((settings & 3) % 3);
  const auto location = static_cast<MatchLocation>(((settings >> 2) & 3) % 3);
  const bool caseInsensitive = settings & 0x10;

  BasicRenamingStrategy rule;
  rule.preserveExtensions = settings & 0x20;
  rule.caseSensitive = !caseInsensitive;
  if (settings & 0x80) {
    rule.maxLength = 8;
    rule.caseFormat = CaseFormat::title;
    rule.prefix = pattern;
  }
  if (settings & 0x40) {
    auto expression = RegularExpression::compile(pattern, caseInsensitive);
    if (!expression) return 0;
    rule.name = NameModification::regex(*expression, replacement, mode);
    // The template parser on its own, against a group count the pattern does not fix.
    if (auto text = unicode::fromUtf8(replacement)) (void)ReplacementTemplate::parse(*text, expression->captureGroupCount() + 3);
  } else {
    rule.name = NameModification::replace(pattern, replacement, mode, location);
  }
  auto renamed = rule.apply(name);
  if (renamed && !unicode::fromUtf8(*renamed)) __builtin_trap();  // a result is always UTF-8
  return 0;
}

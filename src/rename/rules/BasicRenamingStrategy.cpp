#include "rename/rules/BasicRenamingStrategy.h"

#include <algorithm>
#include <climits>

#include "rename/rules/UnicodeText.h"

namespace ml::rename {

namespace {

using foundation::Error;
using foundation::Result;

icu::UnicodeString text(std::string_view utf8) {
  // Typed settings are UTF-8 already; a stray byte becomes U+FFFD rather than failing the rule.
  const auto length = static_cast<int32_t>(std::min<std::size_t>(utf8.size(), INT32_MAX));
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), length));
}

Error notText(std::string_view name) {
  return Error::make(kRegularExpressionErrorDomain, kRegularExpressionErrorCode,
                     "The name \u201C" + unicode::toUtf8(text(name)) +
                         "\u201D is not UTF-8 text and cannot be renamed by a rule.");
}

std::vector<icu::UnicodeString> texts(const std::vector<std::string>& characters) {
  std::vector<icu::UnicodeString> result;
  result.reserve(characters.size());
  for (const auto& c : characters) result.push_back(text(c));
  return result;
}

// What modify() needs of the rule besides the modification.
struct Context {
  bool caseSensitive;
  PatternCache* compiled;
};

Result<icu::UnicodeString> modify(const icu::UnicodeString& base, const NameModification::Replace& m, Context c) {
  std::string pattern;
  if (m.location == MatchLocation::beginning) pattern += "^";
  pattern += m.text;
  if (m.location == MatchLocation::end) pattern += "$";
  auto expression = c.compiled->compile(pattern, !c.caseSensitive);
  if (!expression) return expression.error();
  return expression->replace(base, text(m.replacement), m.mode);
}

Result<icu::UnicodeString> modify(const icu::UnicodeString& base, const NameModification::Regex& m, Context) {
  return m.expression.replace(base, text(m.replacement), m.mode);
}

Result<icu::UnicodeString> modify(const icu::UnicodeString& base, const NameModification::ReplaceCharacters& m, Context) {
  const auto from = texts(m.from);
  const auto to = texts(m.to);
  icu::UnicodeString current = base;
  // Pair after pair over the text the previous pair left, so a later pair also acts on what an
  // earlier one put in.
  for (std::size_t pair = 0; pair < std::min(from.size(), to.size()); ++pair) {
    icu::UnicodeString next;
    for (const auto& c : unicode::characters(current)) next.append(c == from[pair] ? to[pair] : c);
    current = next;
  }
  return current;
}

Result<icu::UnicodeString> modify(const icu::UnicodeString& base, const NameModification::DeleteCharacters& m, Context) {
  const auto deleted = texts(m.characters);
  icu::UnicodeString kept;
  for (const auto& c : unicode::characters(base)) {
    bool remove = false;
    for (const auto& d : deleted) remove = remove || unicode::canonicallyEqual(c, d);
    if (!remove) kept.append(c);
  }
  return kept;
}

Result<icu::UnicodeString> modify(const icu::UnicodeString& base, const NameModification::None&, Context) { return base; }

}  // namespace

Result<std::string> BasicRenamingStrategy::apply(std::string_view currentName) const {
  auto decoded = unicode::fromUtf8(currentName);
  if (!decoded) return notText(currentName);
  const icu::UnicodeString& original = *decoded;

  icu::UnicodeString result;
  if (prefix) result.append(text(*prefix));

  // A dot at offset 0 (".profile") starts a hidden name, not an extension.
  std::optional<icu::UnicodeString> extension;
  icu::UnicodeString base = original;
  if (preserveExtensions) {
    const int32_t dot = original.lastIndexOf(u'.');
    if (dot > 0) {
      extension = icu::UnicodeString(original, dot + 1);
      base = icu::UnicodeString(original, 0, dot);
    }
  }

  auto modified = std::visit([&](const auto& m) { return modify(base, m, Context{caseSensitive, compiled_.get()}); }, name.value());
  if (!modified) return modified.error();
  result.append(*modified);

  if (suffix) result.append(text(*suffix));

  if (extension) {
    // Only a positive limit can leave room; testing first also keeps the subtraction in range.
    if (maxLength && *maxLength > 0) {
      const std::int64_t room = *maxLength - unicode::characterCount(*extension) - 1;
      if (room > 0) result = unicode::firstCharacters(result, room);
    }
    result.append(u'.').append(*extension);
  } else if (maxLength && *maxLength > 0) {
    result = unicode::firstCharacters(result, *maxLength);
  }

  if (caseFormat) result = unicode::withCase(result, *caseFormat, icu::Locale::getDefault());
  return unicode::toUtf8(result);
}

}  // namespace ml::rename

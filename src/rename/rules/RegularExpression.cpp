#include "rename/rules/RegularExpression.h"

#include "rename/rules/ReplacementTemplate.h"
#include "rename/rules/UnicodeText.h"

namespace ml::rename {

namespace {

// ICU counts matching work in steps of ten thousand engine operations (about a tenth of a
// millisecond each here). A million operations let heavily backtracking patterns such as
// "(.*)-(.*)-(.*)x" finish on names of over a hundred characters, and stop an exponential one
// within about fifteen milliseconds per name; such a name then keeps its old name in the
// preview and is left out of the rename.
constexpr int32_t kMatchTimeLimit = 100;

foundation::Error invalidPattern(std::string_view pattern) {
  return foundation::Error::make(kRegularExpressionErrorDomain, kRegularExpressionErrorCode,
                                 "The value \u201C" + std::string(pattern) + "\u201D is invalid.");
}

foundation::Error matchingFailed(const std::string& pattern, UErrorCode status) {
  std::string reason = status == U_REGEX_TIME_OUT ? "took too long" : std::string("failed (") + u_errorName(status) + ")";
  return foundation::Error::make(kRegularExpressionErrorDomain, kRegularExpressionErrorCode,
                                 "Matching the pattern \u201C" + pattern + "\u201D " + reason + ".");
}

struct Match {
  int32_t start = 0;
  int32_t end = 0;
  icu::UnicodeString replacement;
};

}  // namespace

foundation::Result<RegularExpression> RegularExpression::compile(std::string_view pattern, bool caseInsensitive) {
  auto text = unicode::fromUtf8(pattern);
  if (!text) return invalidPattern(pattern);
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(*text, caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, where, status));
  if (U_FAILURE(status) || !compiled) return invalidPattern(pattern);
  return RegularExpression(std::shared_ptr<const icu::RegexPattern>(std::move(compiled)), std::string(pattern),
                           caseInsensitive);
}

std::optional<std::string> RegularExpression::problemWith(std::string_view pattern, bool caseInsensitive) {
  auto text = unicode::fromUtf8(pattern);
  if (!text) return std::string("the pattern is not valid text");
  UErrorCode status = U_ZERO_ERROR;
  UParseError where{};
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(*text, caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, where, status));
  if (!U_FAILURE(status) && compiled) return std::nullopt;
  std::string reason;
  switch (status) {
    case U_REGEX_MISMATCHED_PAREN: reason = "a parenthesis is not closed or not opened"; break;
    case U_REGEX_MISSING_CLOSE_BRACKET: reason = "a \u201C[\u201D is not closed"; break;
    case U_REGEX_BAD_ESCAPE_SEQUENCE: reason = "an escape sequence is not known"; break;
    case U_REGEX_BAD_INTERVAL:
    case U_REGEX_MAX_LT_MIN: reason = "a repetition in braces is not valid"; break;
    case U_REGEX_INVALID_RANGE: reason = "a character range is in the wrong order"; break;
    case U_REGEX_RULE_SYNTAX: reason = "a character cannot stand where it is (a repetition with nothing to repeat?)"; break;
    case U_REGEX_PROPERTY_SYNTAX: reason = "a character property is not valid"; break;
    case U_REGEX_LOOK_BEHIND_LIMIT: reason = "a look-behind has no bounded length"; break;
    default: reason = std::string("ICU refuses it (") + u_errorName(status) + ")"; break;
  }
  // ICU counts in UTF-16 units from 0; people count characters from 1.
  if (where.offset >= 0) reason += ", at character " + std::to_string(text->countChar32(0, where.offset) + 1);
  return reason;
}

int32_t RegularExpression::captureGroupCount() const {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(compiled_->matcher(status));
  if (U_FAILURE(status) || !matcher) return 0;
  return matcher->groupCount();
}

foundation::Result<icu::UnicodeString> RegularExpression::replace(const icu::UnicodeString& text,
                                                                  const icu::UnicodeString& replacementTemplate,
                                                                  ReplacementMode mode) const {
  UErrorCode status = U_ZERO_ERROR;
  // The matcher keeps a reference to `text`, which outlives it.
  std::unique_ptr<icu::RegexMatcher> matcher(compiled_->matcher(text, status));
  if (U_FAILURE(status) || !matcher) return matchingFailed(source_, status);
  matcher->setTimeLimit(kMatchTimeLimit, status);
  const auto expansion = ReplacementTemplate::parse(replacementTemplate, matcher->groupCount());

  std::vector<Match> matches;
  while (matcher->find(status)) {
    Match match{matcher->start(status), matcher->end(status), expansion.expand(*matcher)};
    if (U_FAILURE(status)) break;
    if (mode == ReplacementMode::first) {
      matches.push_back(std::move(match));
      break;
    }
    if (mode == ReplacementMode::last) matches.clear();
    matches.push_back(std::move(match));
  }
  if (U_FAILURE(status)) return matchingFailed(source_, status);

  icu::UnicodeString out;
  int32_t position = 0;
  for (const auto& match : matches) {
    out.append(text, position, match.start - position);
    out.append(match.replacement);
    position = match.end;
  }
  out.append(text, position, text.length() - position);
  return out;
}

}  // namespace ml::rename

#pragma once
// A compiled regular expression in ICU's dialect, with replacement by a template
// (ReplacementTemplate). Copies share the immutable compiled pattern; any thread.
//
// Matching is bounded: a pattern typed by the user can backtrack for ever on some names, and the
// rules run on the main thread while the user types, so each replacement stops after a fixed
// amount of matching work and fails instead of hanging.
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"
#include "rename/rules/ReplacementMode.h"

namespace ml::rename {

// Errors of compiling and matching, in the platform's formatting-error form.
inline constexpr const char* kRegularExpressionErrorDomain = "NSCocoaErrorDomain";
inline constexpr int kRegularExpressionErrorCode = 2048;

class RegularExpression {
 public:
  // Fails with "The value “<pattern>” is invalid." when the pattern does not compile (or is not
  // UTF-8).
  static foundation::Result<RegularExpression> compile(std::string_view pattern, bool caseInsensitive = false);
  // Why `pattern` does not compile, in words a user reads ("a parenthesis is not closed, at
  // character 4"); nothing when it compiles.
  static std::optional<std::string> problemWith(std::string_view pattern, bool caseInsensitive = false);

  const std::string& pattern() const { return source_; }
  bool isCaseInsensitive() const { return caseInsensitive_; }
  int32_t captureGroupCount() const;

  // `text` with the matches `mode` selects replaced by the expansion of `replacementTemplate`:
  // every match (all), or only the first or the last one, the text around it untouched. No match
  // leaves the text as it is. Fails only when matching runs past its work limit.
  foundation::Result<icu::UnicodeString> replace(const icu::UnicodeString& text,
                                                 const icu::UnicodeString& replacementTemplate,
                                                 ReplacementMode mode) const;

  // Expressions are equal when compiled from the same pattern with the same options.
  friend bool operator==(const RegularExpression& a, const RegularExpression& b) {
    return a.source_ == b.source_ && a.caseInsensitive_ == b.caseInsensitive_;
  }

 private:
  RegularExpression(std::shared_ptr<const icu::RegexPattern> compiled, std::string source, bool caseInsensitive)
      : compiled_(std::move(compiled)), source_(std::move(source)), caseInsensitive_(caseInsensitive) {}

  std::shared_ptr<const icu::RegexPattern> compiled_;
  std::string source_;
  bool caseInsensitive_ = false;
};

}  // namespace ml::rename

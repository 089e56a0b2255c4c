#pragma once
// A compiled regular expression (ICU dialect) a name is searched with. Copies share the compiled
// pattern; two patterns are equal only when they are the same compiled object, as a criterion
// names one expression the user entered. Any thread.
//
// Matching is bounded: a user's pattern can backtrack for ever on some names, and a search tests
// every name of a volume, so one name gets a fixed amount of matching work and counts as no match
// past it.
#include <unicode/regex.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/Result.h"


namespace ml::find {

class NamePattern {
 public:
  // Fails when the pattern does not compile or is not UTF-8.
  static foundation::Result<NamePattern> compile(std::string_view pattern, bool caseInsensitive = false);

  const std::string& pattern() const { return source_; }
  // Whether the expression finds a match anywhere in `name` (UTF-8), taken canonically composed
  // (a name stored as e + combining acute is matched as the composed letter).
  bool findsMatch(std::string_view name) const;

  friend bool operator==(const NamePattern& a, const NamePattern& b) { return a.compiled_ == b.compiled_; }

 private:
  NamePattern(std::shared_ptr<const icu::RegexPattern> compiled, std::string source)
      : compiled_(std::move(compiled)), source_(std::move(source)) {}
  std::shared_ptr<const icu::RegexPattern> compiled_;
  std::string source_;
};

}  // namespace ml::find

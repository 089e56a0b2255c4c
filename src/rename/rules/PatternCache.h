#pragma once
// The last pattern a rule compiled, so that a rule applied to thousands of names (the preview
// runs on every keystroke) compiles its search pattern once. Thread-safe.
#include <mutex>
#include <optional>
#include <string>

#include "rename/rules/RegularExpression.h"

namespace ml::rename {

class PatternCache {
 public:
  // The compiled `pattern`, from the cache when it was the last one asked for.
  foundation::Result<RegularExpression> compile(const std::string& pattern, bool caseInsensitive) {
    std::lock_guard lock(mutex_);
    if (!expression_ || pattern_ != pattern || caseInsensitive_ != caseInsensitive) {
      expression_ = RegularExpression::compile(pattern, caseInsensitive);
      pattern_ = pattern;
      caseInsensitive_ = caseInsensitive;
    }
    return *expression_;
  }

 private:
  std::mutex mutex_;
  std::string pattern_;
  bool caseInsensitive_ = false;
  std::optional<foundation::Result<RegularExpression>> expression_;
};

}  // namespace ml::rename

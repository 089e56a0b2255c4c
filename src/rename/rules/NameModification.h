#pragma once
// How a rule changes the base of a name (the name without a preserved extension).
#include <string>
#include <variant>
#include <vector>

#include "rename/rules/MatchLocation.h"
#include "rename/rules/RegularExpression.h"
#include "rename/rules/ReplacementMode.h"

namespace ml::rename {

class NameModification {
 public:
  // `text` is a regular-expression pattern (not escaped), anchored by `location` and compiled
  // when the rule is applied, case-sensitively or not as the rule says; `replacement` is a
  // template (ReplacementTemplate).
  struct Replace {
    std::string text;
    std::string replacement;
    ReplacementMode mode = ReplacementMode::first;
    MatchLocation location = MatchLocation::everywhere;
    friend bool operator==(const Replace&, const Replace&) = default;
  };
  // An expression compiled beforehand with its own options; no anchors are added.
  struct Regex {
    RegularExpression expression;
    std::string replacement;
    ReplacementMode mode = ReplacementMode::first;
    friend bool operator==(const Regex&, const Regex&) = default;
  };
  // Each user-perceived character of `from` becomes the one at the same position of `to`, pair
  // after pair. `maintainCase` is carried for the dialog and not applied.
  struct ReplaceCharacters {
    std::vector<std::string> from;
    std::vector<std::string> to;
    bool maintainCase = false;
    friend bool operator==(const ReplaceCharacters&, const ReplaceCharacters&) = default;
  };
  // Removes every character canonically equal to one listed (case-sensitive).
  struct DeleteCharacters {
    std::vector<std::string> characters;
    friend bool operator==(const DeleteCharacters&, const DeleteCharacters&) = default;
  };
  struct None {
    friend bool operator==(const None&, const None&) = default;
  };
  using Case = std::variant<Replace, Regex, ReplaceCharacters, DeleteCharacters, None>;

  NameModification() = default;
  NameModification(Case value) : value_(std::move(value)) {}

  static NameModification replace(std::string text, std::string replacement, ReplacementMode mode,
                                  MatchLocation location) {
    return Case(Replace{std::move(text), std::move(replacement), mode, location});
  }
  static NameModification regex(RegularExpression expression, std::string replacement, ReplacementMode mode) {
    return Case(Regex{std::move(expression), std::move(replacement), mode});
  }
  static NameModification replaceCharacters(std::vector<std::string> from, std::vector<std::string> to,
                                            bool maintainCase) {
    return Case(ReplaceCharacters{std::move(from), std::move(to), maintainCase});
  }
  static NameModification deleteCharacters(std::vector<std::string> characters) {
    return Case(DeleteCharacters{std::move(characters)});
  }
  static NameModification none() { return Case(None{}); }

  const Case& value() const { return value_; }
  template <class T>
  const T* as() const {
    return std::get_if<T>(&value_);
  }

  friend bool operator==(const NameModification&, const NameModification&) = default;

 private:
  Case value_ = None{};
};

}  // namespace ml::rename

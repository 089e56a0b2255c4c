#pragma once
// What a name criterion asks of an item's name, and the per-name test of it.
//
//   contains / startsWith / endsWith: every string (and) or any string (or); with `and` an empty
//     list matches every name, with `or` none;
//   is: the name equals any of the strings (an empty list matches none);
//   matches: a regular expression finds a match anywhere in the name;
//   length: the name has at least that many characters (user-perceived ones).
//
// Every test compares canonically equivalent text as equal (a name stored decomposed matches the
// composed text typed): case-insensitive tests compare Unicode case folds of the canonically
// composed texts, case-sensitive ones the composed texts themselves (the bytes, for ASCII and
// for names that are not UTF-8). Value type; any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "find/search/BooleanOperator.h"
#include "find/search/NamePattern.h"

namespace ml::find {

class NameSearchOption {
 public:
  struct Contains { std::vector<std::string> value; BooleanOperator joinUsing = BooleanOperator::andOp; friend bool operator==(const Contains&, const Contains&) = default; };
  struct StartsWith { std::vector<std::string> value; BooleanOperator joinUsing = BooleanOperator::andOp; friend bool operator==(const StartsWith&, const StartsWith&) = default; };
  struct EndsWith { std::vector<std::string> value; BooleanOperator joinUsing = BooleanOperator::andOp; friend bool operator==(const EndsWith&, const EndsWith&) = default; };
  struct Is { std::vector<std::string> value; friend bool operator==(const Is&, const Is&) = default; };
  struct Matches { NamePattern pattern; friend bool operator==(const Matches&, const Matches&) = default; };
  struct Length { uint64_t value = 0; friend bool operator==(const Length&, const Length&) = default; };
  using Case = std::variant<Contains, StartsWith, EndsWith, Is, Matches, Length>;

  NameSearchOption(Case option) : option_(std::move(option)) {}  // NOLINT: implicit by design

  static NameSearchOption contains(std::vector<std::string> v, BooleanOperator op = BooleanOperator::andOp) { return Case(Contains{std::move(v), op}); }
  static NameSearchOption startsWith(std::vector<std::string> v, BooleanOperator op = BooleanOperator::andOp) { return Case(StartsWith{std::move(v), op}); }
  static NameSearchOption endsWith(std::vector<std::string> v, BooleanOperator op = BooleanOperator::andOp) { return Case(EndsWith{std::move(v), op}); }
  static NameSearchOption is(std::vector<std::string> v) { return Case(Is{std::move(v)}); }
  static NameSearchOption matches(NamePattern p) { return Case(Matches{std::move(p)}); }
  static NameSearchOption length(uint64_t n) { return Case(Length{n}); }

  const Case& option() const { return option_; }

  // Whether `name` (UTF-8) satisfies the option.
  bool test(std::string_view name, bool ignoringCase) const;

  friend bool operator==(const NameSearchOption&, const NameSearchOption&) = default;

 private:
  Case option_;
};

}  // namespace ml::find

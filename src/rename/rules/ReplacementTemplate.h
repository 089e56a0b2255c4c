#pragma once
// A regular-expression replacement template, parsed once per expression:
//   "$n"   the text of capture group n ("$0" the whole match). Digits after the first are taken
//          only while the number still names a group of the expression, so with two groups
//          "$12" is group 1 followed by "2". A first digit that names no group stands for
//          nothing. An unmatched optional group stands for nothing.
//   "\c"   the character c itself ("\$" a dollar sign, "\\" a backslash); a backslash that ends
//          the template stands for itself.
//   "$" not followed by a digit stands for itself; everything else is literal.
// Immutable; any thread.
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <vector>

namespace ml::rename {

class ReplacementTemplate {
 public:
  // A piece is either literal text (group < 0) or a capture-group reference.
  struct Piece {
    icu::UnicodeString literal;
    int32_t group = -1;
  };

  // Never fails: every text is a template. `groupCount` is the expression's number of groups.
  static ReplacementTemplate parse(const icu::UnicodeString& text, int32_t groupCount);

  // The replacement for the matcher's current match.
  icu::UnicodeString expand(const icu::RegexMatcher& match) const;

  const std::vector<Piece>& pieces() const { return pieces_; }

 private:
  std::vector<Piece> pieces_;
};

}  // namespace ml::rename

#include "rename/rules/ReplacementTemplate.h"

namespace ml::rename {

namespace {

bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

ReplacementTemplate ReplacementTemplate::parse(const icu::UnicodeString& text, int32_t groupCount) {
  ReplacementTemplate result;
  icu::UnicodeString literal;
  auto flushLiteral = [&] {
    if (literal.isEmpty()) return;
    result.pieces_.push_back(Piece{literal, -1});
    literal.remove();
  };
  const int32_t length = text.length();
  for (int32_t i = 0; i < length;) {
    const char16_t c = text.charAt(i);
    if (c == u'\\') {
      if (i + 1 >= length) {
        literal.append(c);
        ++i;
        continue;
      }
      // The escaped character is taken whole, a surrogate pair included.
      const UChar32 escaped = text.char32At(i + 1);
      literal.append(escaped);
      i = text.moveIndex32(i + 1, 1);
      continue;
    }
    if (c == u'$' && i + 1 < length && isAsciiDigit(text.charAt(i + 1))) {
      int64_t group = text.charAt(i + 1) - u'0';
      i += 2;
      // Longest run of digits that still names a group; bounded by groupCount, so no overflow.
      while (i < length && isAsciiDigit(text.charAt(i))) {
        const int64_t longer = group * 10 + (text.charAt(i) - u'0');
        if (longer > groupCount) break;
        group = longer;
        ++i;
      }
      flushLiteral();
      if (group <= groupCount) result.pieces_.push_back(Piece{{}, static_cast<int32_t>(group)});
      continue;
    }
    literal.append(c);
    ++i;
  }
  flushLiteral();
  return result;
}

icu::UnicodeString ReplacementTemplate::expand(const icu::RegexMatcher& match) const {
  icu::UnicodeString out;
  for (const auto& piece : pieces_) {
    if (piece.group < 0) {
      out.append(piece.literal);
      continue;
    }
    UErrorCode status = U_ZERO_ERROR;
    // An unmatched group answers an empty text; any failure counts as one.
    icu::UnicodeString group = match.group(piece.group, status);
    if (U_SUCCESS(status)) out.append(group);
  }
  return out;
}

}  // namespace ml::rename

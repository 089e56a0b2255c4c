#pragma once
// The text operations the renaming rules need, over ICU's UTF-16 strings: UTF-8 conversion that
// refuses malformed input instead of replacing it, user-perceived characters (extended grapheme
// clusters), canonical equivalence and locale-aware case mapping.
//
// Names come from the file system as bytes. A name that is not UTF-8 cannot go through a text
// rule without changing bytes the user never asked to change, so conversion reports it.
// Any thread (ICU's break iterators and normalizers are made per call or are immutable).
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rename/rules/CaseFormat.h"

namespace ml::rename::unicode {

// The text as UTF-16, or nothing when `utf8` is not well-formed UTF-8 (overlong forms, encoded
// surrogates and truncated sequences included).
std::optional<icu::UnicodeString> fromUtf8(std::string_view utf8);
std::string toUtf8(const icu::UnicodeString& text);

// The user-perceived characters of `text`, in order.
std::vector<icu::UnicodeString> characters(const icu::UnicodeString& text);
// The same for UTF-8 text; malformed bytes count as U+FFFD (callers pass typed text).
std::vector<std::string> characters(std::string_view utf8);
std::int64_t characterCount(const icu::UnicodeString& text);
// The first `count` characters of `text` (all of it when it is shorter; none for count <= 0).
icu::UnicodeString firstCharacters(const icu::UnicodeString& text, std::int64_t count);

// Whether the two texts are canonically equivalent (é precomposed equals e + combining acute).
bool canonicallyEqual(const icu::UnicodeString& a, const icu::UnicodeString& b);

// `text` in `format` for `locale`: lower or upper case throughout, or each word capitalised
// (first letter upper case, the rest lower case; words as the locale's word breaks find them).
icu::UnicodeString withCase(const icu::UnicodeString& text, CaseFormat format, const icu::Locale& locale);

}  // namespace ml::rename::unicode

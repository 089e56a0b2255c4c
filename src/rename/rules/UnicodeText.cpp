#include "rename/rules/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

#include <memory>

namespace ml::rename::unicode {

namespace {

// Making a break iterator costs far more than using one (a preview applies a rule to thousands
// of names per keystroke), so each thread keeps one of each kind. Null when ICU has no data.
icu::BreakIterator* characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> made(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(made) : nullptr;
  }();
  return breaks.get();
}

icu::BreakIterator* wordBreaks(const icu::Locale& locale) {
  thread_local std::string forLocale;
  thread_local std::unique_ptr<icu::BreakIterator> breaks;
  if (!breaks || forLocale != locale.getName()) {
    UErrorCode status = U_ZERO_ERROR;
    breaks.reset(icu::BreakIterator::createWordInstance(locale, status));
    if (U_FAILURE(status)) breaks.reset();
    forLocale = locale.getName();
  }
  return breaks.get();
}

// Boundaries of user-perceived characters, as offsets into `text` (first 0, last its length).
std::vector<int32_t> characterBoundaries(const icu::UnicodeString& text) {
  std::vector<int32_t> boundaries{0};
  if (text.isEmpty()) return boundaries;
  icu::BreakIterator* breaks = characterBreaks();
  if (!breaks) {
    // Without break data each code point stands alone: still never splits a surrogate pair.
    for (int32_t i = 0; i < text.length();) {
      i = text.moveIndex32(i, 1);
      boundaries.push_back(i);
    }
    return boundaries;
  }
  breaks->setText(text);
  breaks->first();
  for (int32_t next = breaks->next(); next != icu::BreakIterator::DONE; next = breaks->next()) {
    boundaries.push_back(next);
  }
  return boundaries;
}

}  // namespace

std::optional<icu::UnicodeString> fromUtf8(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  const auto length = static_cast<int32_t>(utf8.size());
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return std::nullopt;
  }
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), length));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::vector<icu::UnicodeString> characters(const icu::UnicodeString& text) {
  const auto boundaries = characterBoundaries(text);
  std::vector<icu::UnicodeString> result;
  result.reserve(boundaries.size());
  for (std::size_t i = 1; i < boundaries.size(); ++i) {
    result.emplace_back(text, boundaries[i - 1], boundaries[i] - boundaries[i - 1]);
  }
  return result;
}

std::vector<std::string> characters(std::string_view utf8) {
  std::vector<std::string> result;
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return result;
  auto text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  for (const auto& c : characters(text)) result.push_back(toUtf8(c));
  return result;
}

std::int64_t characterCount(const icu::UnicodeString& text) {
  return static_cast<std::int64_t>(characterBoundaries(text).size()) - 1;
}

icu::UnicodeString firstCharacters(const icu::UnicodeString& text, std::int64_t count) {
  if (count <= 0) return {};
  const auto boundaries = characterBoundaries(text);
  if (count >= static_cast<std::int64_t>(boundaries.size()) - 1) return text;
  return icu::UnicodeString(text, 0, boundaries[static_cast<std::size_t>(count)]);
}

bool canonicallyEqual(const icu::UnicodeString& a, const icu::UnicodeString& b) {
  if (a == b) return true;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || !nfc) return false;
  icu::UnicodeString na = nfc->normalize(a, status);
  icu::UnicodeString nb = nfc->normalize(b, status);
  return U_SUCCESS(status) && na == nb;
}

icu::UnicodeString withCase(const icu::UnicodeString& text, CaseFormat format, const icu::Locale& locale) {
  icu::UnicodeString result(text);
  switch (format) {
    case CaseFormat::lower: result.toLower(locale); break;
    case CaseFormat::upper: result.toUpper(locale); break;
    // Words as the locale's word breaks find them; the rest of each word is lowered.
    case CaseFormat::title: result.toTitle(wordBreaks(locale), locale); break;
  }
  return result;
}

}  // namespace ml::rename::unicode

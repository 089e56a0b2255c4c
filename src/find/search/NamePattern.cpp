#include "find/search/NamePattern.h"

#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace ml::find {
namespace {
// ICU's bound on one match, in its time steps (a few million engine steps each); names are
// short, so an honest pattern never comes near it.
constexpr int32_t kMatchTimeLimit = 20;
}  // namespace

foundation::Result<NamePattern> NamePattern::compile(std::string_view pattern, bool caseInsensitive) {
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  if (text.indexOf(static_cast<UChar32>(0xFFFD)) >= 0 &&
      std::string_view(pattern).find("\xEF\xBF\xBD") == std::string_view::npos) {
    return foundation::Error{2048, "NSCocoaErrorDomain", "The pattern is not valid UTF-8."};
  }
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(text, caseInsensitive ? UREGEX_CASE_INSENSITIVE : 0, parseError, status));
  if (U_FAILURE(status) || !compiled) {
    return foundation::Error{2048, "NSCocoaErrorDomain", "The value \u201C" + std::string(pattern) + "\u201D is invalid."};
  }
  return NamePattern(std::shared_ptr<const icu::RegexPattern>(std::move(compiled)), std::string(pattern));
}

bool NamePattern::findsMatch(std::string_view name) const {
  if (!compiled_) return false;
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  UErrorCode status = U_ZERO_ERROR;
  // A name stored decomposed is matched in its composed form, as typed text is.
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (const icu::Normalizer2* nfc = ascii ? nullptr : icu::Normalizer2::getNFCInstance(status); nfc && U_SUCCESS(status)) {
    if (!nfc->isNormalized(text, status) && U_SUCCESS(status)) {
      icu::UnicodeString composedText = nfc->normalize(text, status);
      if (U_SUCCESS(status)) text = std::move(composedText);
    }
    status = U_ZERO_ERROR;
  }
  std::unique_ptr<icu::RegexMatcher> matcher(compiled_->matcher(text, status));
  if (U_FAILURE(status) || !matcher) return false;
  matcher->setTimeLimit(kMatchTimeLimit, status);
  bool found = matcher->find(status);
  return U_SUCCESS(status) && found;
}

}  // namespace ml::find

#include "files/format/LimitedLengthFormatter.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>
#include <stdexcept>

namespace ml::files {

std::size_t graphemePrefixLength(std::string_view text, std::size_t count) {
  // A UTF-8 byte is at most one character, so short text needs no break iterator.
  if (text.size() <= count) return text.size();
  if (count == 0) return 0;

  // The iterator walks the UTF-8 bytes in place (UText native indexes are byte offsets), so the
  // cut lands on a byte offset of the original text and nothing is re-encoded.
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, decltype(&utext_close)> utext(
      utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status), &utext_close);
  std::unique_ptr<icu::BreakIterator> characters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getDefault(), status));
  if (U_FAILURE(status) || !characters) return text.size();  // no break rules: cut nothing
  characters->setText(utext.get(), status);
  if (U_FAILURE(status)) return text.size();

  int32_t end = characters->first();
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t next = characters->next();
    if (next == icu::BreakIterator::DONE) return text.size();
    end = next;
  }
  return static_cast<std::size_t>(end);
}

LimitedLengthFormatter::LimitedLengthFormatter(int maxLength) : maxLength_(maxLength) {
  if (maxLength < 0) throw std::invalid_argument("LimitedLengthFormatter: negative maximum length");
}

std::string LimitedLengthFormatter::format(std::string_view text) const {
  return std::string(text.substr(0, graphemePrefixLength(text, static_cast<std::size_t>(maxLength_))));
}

std::optional<std::string> LimitedLengthFormatter::string(const std::any& value) const {
  if (const auto* text = std::any_cast<std::string>(&value)) return format(*text);
  if (const auto* text = std::any_cast<const char*>(&value); text && *text) return format(*text);
  return std::nullopt;
}

}  // namespace ml::files

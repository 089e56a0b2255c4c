#include "files/format/FileSizeFormatter.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>

#include "files/format/SizeRepresentation.h"

namespace ml::files {

std::string decimalText(int64_t count) {
  UErrorCode status = U_ZERO_ERROR;
  const auto formatted =
      icu::number::NumberFormatter::withLocale(icu::Locale::getDefault()).formatInt(count, status);
  std::string text;
  if (U_SUCCESS(status)) formatted.toString(status).toUTF8String(text);
  if (U_FAILURE(status)) text = std::to_string(count);  // no locale data: still a number
  return text;
}

std::string FileSizeFormatter::format(const FileSize& size) const {
  if (size.isUnknown()) return "Unknown File Size";
  if (actualBytesOnly) return decimalText(size.actual) + " bytes";
  return toSizeRepresentation(size.allocated) + " (" + decimalText(size.actual) + " bytes used)";
}

std::optional<std::string> FileSizeFormatter::string(const std::any& value) const {
  if (const auto* size = std::any_cast<FileSize>(&value)) return format(*size);
  return nilReturnValue;
}

}  // namespace ml::files

#include "files/format/SizeRepresentation.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>

namespace ml::files {

namespace {

// The number with at most two fraction digits. Rounding to a fixed two digits and then dropping
// trailing zeros gives the same text as allowing 0 to 2 digits, so the formatter does both at
// once and the locale's decimal separator never has to be searched for in its output. Grouping
// stays off: "1024 KB", never "1,024 KB". A negative value that rounds to zero loses its sign.
std::string formatValue(double value) {
  namespace number = icu::number;
  UErrorCode status = U_ZERO_ERROR;
  const auto formatter = number::NumberFormatter::withLocale(icu::Locale::getDefault())
                             .precision(number::Precision::minMaxFraction(0, 2))
                             .roundingMode(UNUM_ROUND_HALFUP)
                             .grouping(UNUM_GROUPING_OFF)
                             .sign(UNUM_SIGN_NEGATIVE);
  const auto formatted = formatter.formatDouble(value, status);
  std::string text;
  if (U_SUCCESS(status)) formatted.toString(status).toUTF8String(text);
  if (U_FAILURE(status)) text = std::to_string(value);  // no locale data: still a number
  return text;
}

}  // namespace

std::string toSizeRepresentation(int64_t bytes) {
  const double k = static_cast<double>(bytes) / 1024;
  const double m = k >= 1024 ? k / 1024 : k;
  const double g = m >= 1024 ? m / 1024 : m;
  const char* unit = m >= 1024 ? "GB" : k >= 1024 ? "MB" : "KB";
  return formatValue(g) + " " + unit;
}

}  // namespace ml::files

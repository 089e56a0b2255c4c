#include "beacon/core/TLUtilityDate.h"

#include "platform/foundation/Dates.h"

namespace ml::beacon {

double TLUtilityDate::nowInMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string TLUtilityDate::dateToISO8601(Date date) { return foundation::Dates::iso8601(date); }

std::optional<TLUtilityDate::Date> TLUtilityDate::dateFromISO8601(std::string_view text) {
  return foundation::Dates::parseIso8601(text);
}

}  // namespace ml::beacon

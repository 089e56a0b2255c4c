#include "platform/darwin/FileDate.h"

#include <limits>

namespace ml::darwin {

namespace {

constexpr DateTicks kNanosecondsPerSecond = 1'000'000'000;
constexpr DateTicks kLowest = static_cast<DateTicks>(std::numeric_limits<int64_t>::min()) * kNanosecondsPerSecond;
constexpr DateTicks kHighest =
    static_cast<DateTicks>(std::numeric_limits<int64_t>::max()) * kNanosecondsPerSecond + (kNanosecondsPerSecond - 1);

}  // namespace

Date dateOf(int64_t seconds, int64_t nanoseconds) {
  return Date(DateDuration(static_cast<DateTicks>(seconds) * kNanosecondsPerSecond + nanoseconds));
}

std::optional<timespec> timespecOf(Date date) {
  const DateTicks ticks = date.time_since_epoch().count();
  if (ticks < kLowest || ticks > kHighest) return std::nullopt;
  DateTicks seconds = ticks / kNanosecondsPerSecond;
  DateTicks nanoseconds = ticks % kNanosecondsPerSecond;
  if (nanoseconds < 0) {
    nanoseconds += kNanosecondsPerSecond;
    seconds -= 1;
  }
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(nanoseconds);
  return t;
}

std::string decimalNanoseconds(Date date) {
  DateTicks ticks = date.time_since_epoch().count();
  const bool negative = ticks < 0;
  std::string digits;
  do {
    const auto digit = static_cast<int>(ticks % 10);
    digits.insert(digits.begin(), static_cast<char>('0' + (negative ? -digit : digit)));
    ticks /= 10;
  } while (ticks != 0);
  return negative ? "-" + digits : digits;
}

std::optional<Date> dateFromDecimalNanoseconds(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // Anything longer is out of range anyway; the limit keeps the sum below from overflowing.
  if (text.empty() || text.size() > 30) return std::nullopt;
  DateTicks magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
  }
  const DateTicks ticks = negative ? -magnitude : magnitude;
  if (ticks < kLowest || ticks > kHighest) return std::nullopt;
  return Date(DateDuration(ticks));
}

std::string utcText(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm parts {};
  char text[64];
  if (::gmtime_r(&t, &parts) && ::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) > 0) return text;
  return std::to_string(seconds) + " s after 1970-01-01 00:00:00 UTC";
}

}  // namespace ml::darwin

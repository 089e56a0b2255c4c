#include "platform/foundation/Dates.h"

#include <cmath>
#include <cstdio>

namespace ml::foundation {

namespace {

using namespace std::chrono;

constexpr sys_days kReferenceDay = sys_days{year(2001) / January / 1};

// Reads exactly `count` digits at `pos`.
std::optional<int> digits(std::string_view text, std::size_t& pos, std::size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char c = text[pos + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::string Dates::iso8601(TimePoint time) {
  auto ms = floor<milliseconds>(time);
  auto day = floor<days>(ms);
  year_month_day date{day};
  hh_mm_ss<milliseconds> clock{ms - day};
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::optional<Dates::TimePoint> Dates::parseIso8601(std::string_view text) {
  std::size_t pos = 0;
  auto y = digits(text, pos, 4);
  if (!y || !expect(text, pos, '-')) return std::nullopt;
  auto mo = digits(text, pos, 2);
  if (!mo || !expect(text, pos, '-')) return std::nullopt;
  auto d = digits(text, pos, 2);
  if (!d || !expect(text, pos, 'T')) return std::nullopt;
  auto h = digits(text, pos, 2);
  if (!h || !expect(text, pos, ':')) return std::nullopt;
  auto mi = digits(text, pos, 2);
  if (!mi || !expect(text, pos, ':')) return std::nullopt;
  auto s = digits(text, pos, 2);
  if (!s) return std::nullopt;
  year_month_day date{year(*y), month(static_cast<unsigned>(*mo)), day(static_cast<unsigned>(*d))};
  if (!date.ok() || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;

  nanoseconds fraction{0};
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    ++pos;
    std::size_t start = pos;
    long long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 9) value = value * 10 + (text[pos++] - '0');
    std::size_t count = pos - start;
    if (count == 0) return std::nullopt;
    if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') return std::nullopt;  // more than 9
    for (std::size_t i = count; i < 9; ++i) value *= 10;
    fraction = nanoseconds(value);
  }

  minutes offset{0};
  if (pos >= text.size()) return std::nullopt;  // a time zone is required
  if (text[pos] == 'Z') {
    ++pos;
  } else if (text[pos] == '+' || text[pos] == '-') {
    int sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    auto oh = digits(text, pos, 2);
    if (!oh) return std::nullopt;
    int om = 0;
    if (pos < text.size()) {
      expect(text, pos, ':');
      auto m = digits(text, pos, 2);
      if (!m) return std::nullopt;
      om = *m;
    }
    if (*oh > 23 || om > 59) return std::nullopt;
    offset = minutes(sign * (*oh * 60 + om));
  } else {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;

  // Whole seconds first: a nanosecond clock spans only about 1678 to 2261.
  sys_seconds whole = sys_days(date) + hours(*h) + minutes(*mi) + seconds(*s) - offset;
  constexpr long long kLimit = 9'000'000'000LL;
  if (whole.time_since_epoch().count() > kLimit || whole.time_since_epoch().count() < -kLimit)
    return std::nullopt;
  return TimePoint(duration_cast<system_clock::duration>(whole.time_since_epoch() + fraction));
}

Dates::TimePoint Dates::referenceDate() { return TimePoint(kReferenceDay); }

double Dates::timeIntervalSinceReferenceDate(TimePoint time) {
  return duration<double>(time - referenceDate()).count();
}

Dates::TimePoint Dates::fromTimeIntervalSinceReferenceDate(double seconds) {
  if (!std::isfinite(seconds)) return referenceDate();
  // system_clock counts nanoseconds in 64 bits: about ±292 years around 1970.
  constexpr double kLimit = 8.0e9;
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  return referenceDate() + duration_cast<system_clock::duration>(duration<double>(seconds));
}

}  // namespace ml::foundation

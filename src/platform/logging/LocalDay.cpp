#include "platform/logging/LocalDay.h"

#include <cstdio>
#include <ctime>

namespace ml::logging {

LocalDay LocalDay::of(std::chrono::system_clock::time_point time) {
  std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  if (!localtime_r(&t, &local)) return LocalDay{};
  return LocalDay{local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                  static_cast<unsigned>(local.tm_mday)};
}

std::optional<LocalDay> LocalDay::fromFileName(std::string_view name) {
  // "YYYY-MM-DD.log": 14 characters, digits where digits belong.
  if (name.size() != 14 || name.substr(10) != ".log" || name[4] != '-' || name[7] != '-')
    return std::nullopt;
  auto number = [&](std::size_t from, std::size_t count) -> std::optional<int> {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      if (name[i] < '0' || name[i] > '9') return std::nullopt;
      value = value * 10 + (name[i] - '0');
    }
    return value;
  };
  auto y = number(0, 4), m = number(5, 2), d = number(8, 2);
  if (!y || !m || !d) return std::nullopt;
  std::chrono::year_month_day date{std::chrono::year(*y), std::chrono::month(static_cast<unsigned>(*m)),
                                   std::chrono::day(static_cast<unsigned>(*d))};
  if (!date.ok()) return std::nullopt;
  return LocalDay{*y, static_cast<unsigned>(*m), static_cast<unsigned>(*d)};
}

std::string LocalDay::fileName() const {
  char name[32];
  std::snprintf(name, sizeof name, "%04d-%02u-%02u.log", year, month, day);
  return name;
}

long LocalDay::ordinal() const {
  std::chrono::sys_days days{std::chrono::year_month_day{std::chrono::year(year), std::chrono::month(month),
                                                         std::chrono::day(day)}};
  return static_cast<long>(days.time_since_epoch().count());
}

}  // namespace ml::logging

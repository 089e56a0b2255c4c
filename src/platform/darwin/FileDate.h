#pragma once
// A file date: nanoseconds since 1970-01-01 00:00 UTC counted in 128 bits. A file system keeps a
// 64-bit count of seconds plus nanoseconds; 64-bit nanoseconds would reach only 1677 to 2262 and
// wrap around outside that, so every date an item can carry is held here exactly instead.
// A plain chrono time point: compare, add and subtract durations as with any other.
#include <time.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ml::darwin {

__extension__ typedef __int128 DateTicks;
using DateDuration = std::chrono::duration<DateTicks, std::nano>;
using Date = std::chrono::time_point<std::chrono::system_clock, DateDuration>;

// The date of a file-system timestamp (nanoseconds 0 to 999999999).
Date dateOf(int64_t seconds, int64_t nanoseconds);

// Whole seconds (rounded down, so before 1970 the nanoseconds still count forward) and the
// nanoseconds of the date; nullopt when the seconds do not fit a 64-bit time_t.
std::optional<timespec> timespecOf(Date date);

// Nanoseconds since 1970 in decimal ("-5000000000"), and back. Reading accepts only what
// timespecOf can express, so a date read this way can always be handed to the file system.
std::string decimalNanoseconds(Date date);
std::optional<Date> dateFromDecimalNanoseconds(std::string_view text);

// "2400-01-01 00:00:00 UTC"; the plain count of seconds where the calendar cannot name the year.
std::string utcText(int64_t seconds);

}  // namespace ml::darwin

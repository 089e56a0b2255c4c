#pragma once
// Helpers for the logging suite: a virtual clock, local dates, and reading back log files.
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/logging/Log.h"

namespace ml::logging::testing {

using TimePoint = std::chrono::system_clock::time_point;

// Noon of a local date: far from midnight, so no time zone or DST shift moves it to another day.
inline TimePoint localNoon(int year, int month, int day) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

// A clock the test moves by hand; safe to read from the logging threads.
class VirtualClock {
 public:
  explicit VirtualClock(TimePoint start) : ticks_(start.time_since_epoch().count()) {}
  TimePoint now() const { return TimePoint(TimePoint::duration(ticks_.load())); }
  void set(TimePoint t) { ticks_.store(t.time_since_epoch().count()); }
  void advance(std::chrono::system_clock::duration d) { ticks_.fetch_add(d.count()); }
  NowSource source() const {
    return [this] { return now(); };
  }

 private:
  std::atomic<TimePoint::duration::rep> ticks_;
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> readLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> fileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Resets logging around each test, since enable() takes effect once per process.
class LoggingReset {
 public:
  LoggingReset() { Log::resetForTesting(); }
  ~LoggingReset() { Log::resetForTesting(); }
};

}  // namespace ml::logging::testing

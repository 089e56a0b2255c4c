#include "platform/logging/ReadableLogFormatter.h"

#include <cstdio>
#include <ctime>
#include <string_view>

namespace ml::logging {

namespace {

std::string_view baseName(std::string_view path) {
  auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ReadableLogFormatter::timestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  auto sinceEpoch = time.time_since_epoch();
  auto wholeSeconds = floor<seconds>(sinceEpoch);
  auto millis = duration_cast<milliseconds>(sinceEpoch - wholeSeconds).count();
  std::time_t t = static_cast<std::time_t>(wholeSeconds.count());
  std::tm local{};
  if (!localtime_r(&t, &local)) return "0000-00-00 00:00:00.000 +0000";
  char date[40];
  std::size_t n = std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  char zone[8];
  std::size_t z = std::strftime(zone, sizeof zone, "%z", &local);
  char out[64];
  std::snprintf(out, sizeof out, "%.*s.%03d %.*s", static_cast<int>(n), date, static_cast<int>(millis),
                static_cast<int>(z), zone);
  return out;
}

std::string ReadableLogFormatter::escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string ReadableLogFormatter::format(const LogRecord& record) {
  std::string line = timestamp(record.time);
  line += " | ";
  line += tag(record.severity);
  line += " | ";
  line += std::to_string(record.threadId);
  if (!record.threadName.empty()) {
    line += ' ';
    line += escape(record.threadName);
  }
  line += " | ";
  line += baseName(record.where.file_name());
  line += ':';
  line += std::to_string(record.where.line());
  line += ' ';
  line += record.where.function_name();
  line += " | ";
  if (record.isTrace)
    line += "(trace)";
  else
    line += escape(record.text);
  line += '\n';
  return line;
}

}  // namespace ml::logging

#include "LogCapture.h"

namespace ml::test {

LogCapture::LogCapture() {
  ml::beacon::TLLogger::setLogHandler([this](const ml::beacon::TLLogMessageProvider& message,
                                             ml::beacon::TLLogLevel level, std::string_view tag, const char*,
                                             const char*, std::uint32_t) {
    std::string text = message();
    std::lock_guard guard(mutex_);
    lines_.push_back({level, std::string(tag), std::move(text)});
  });
}

LogCapture::~LogCapture() { ml::beacon::TLLogger::resetToDefaults(); }

std::vector<CapturedLogLine> LogCapture::lines() const {
  std::lock_guard guard(mutex_);
  return lines_;
}

std::size_t LogCapture::count(ml::beacon::TLLogLevel level, const std::string& fragment) const {
  std::lock_guard guard(mutex_);
  std::size_t n = 0;
  for (const auto& line : lines_) {
    if (line.level == level && line.message.find(fragment) != std::string::npos) ++n;
  }
  return n;
}

void LogCapture::clear() {
  std::lock_guard guard(mutex_);
  lines_.clear();
}

}  // namespace ml::test

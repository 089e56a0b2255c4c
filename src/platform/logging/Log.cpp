#include "platform/logging/Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/logging/LogRecord.h"
#include "platform/logging/ReadableLogFormatter.h"

namespace ml::logging {

namespace {

constexpr int kNothingAccepted = kSeverityCount;

// Process-wide logging state. Never destroyed, so log calls made from static destructors or
// threads still running at exit find it intact.
struct LogState {
  std::array<LogChannel, kSeverityCount> channels{
      LogChannel(LogSeverity::verbose), LogChannel(LogSeverity::debug), LogChannel(LogSeverity::info),
      LogChannel(LogSeverity::warning), LogChannel(LogSeverity::error)};
  std::atomic<int> lowestAccepted{kNothingAccepted};
  std::mutex mutex;  // guards everything below
  bool enabled = false;
  std::vector<RotatingLogFileConfiguration> configurations;
  NowSource now;
};

LogState& state() {
  static LogState* instance = [] {
    static std::aligned_storage_t<sizeof(LogState), alignof(LogState)> storage;
    return ::new (&storage) LogState();
  }();
  return *instance;
}

long currentThreadId() {
  thread_local long id = static_cast<long>(::syscall(SYS_gettid));
  return id;
}

}  // namespace

LogChannel* Log::channel(LogSeverity severity) {
  auto& s = state();
  int index = static_cast<int>(severity);
  if (index < 0 || index >= kSeverityCount) return nullptr;
  if (index < s.lowestAccepted.load(std::memory_order_acquire)) return nullptr;
  return &s.channels[static_cast<std::size_t>(index)];
}

LogChannel* Log::error() { return channel(LogSeverity::error); }
LogChannel* Log::warning() { return channel(LogSeverity::warning); }
LogChannel* Log::info() { return channel(LogSeverity::info); }
LogChannel* Log::debug() { return channel(LogSeverity::debug); }
LogChannel* Log::verbose() { return channel(LogSeverity::verbose); }

bool Log::enable(std::vector<RotatingLogFileConfiguration> configurations, NowSource now) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  if (s.enabled) return false;
  s.enabled = true;
  int lowest = kNothingAccepted;
  for (const auto& c : configurations) lowest = std::min(lowest, static_cast<int>(c.minimumSeverity()));
  s.configurations = std::move(configurations);
  s.now = now ? std::move(now) : NowSource([] { return std::chrono::system_clock::now(); });
  s.lowestAccepted.store(lowest, std::memory_order_release);
  return true;
}

bool Log::isEnabled() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.enabled;
}

void Log::flush() { std::fflush(stderr); }

void Log::resetForTesting() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.lowestAccepted.store(kNothingAccepted, std::memory_order_release);
  s.enabled = false;
  s.configurations.clear();
  s.now = nullptr;
}

void LogChannel::message(std::string_view text, SourceLocation where) const {
  auto& s = state();
  LogRecord record;
  {
    std::lock_guard lock(s.mutex);
    if (!s.enabled) return;
    record.time = s.now();
  }
  record.severity = severity_;
  record.where = where;
  record.threadId = currentThreadId();
  record.text = std::string(text);
  std::string line = ReadableLogFormatter::format(record);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void LogChannel::trace(SourceLocation where) const {
  auto& s = state();
  LogRecord record;
  {
    std::lock_guard lock(s.mutex);
    if (!s.enabled) return;
    record.time = s.now();
  }
  record.severity = severity_;
  record.where = where;
  record.threadId = currentThreadId();
  record.isTrace = true;
  std::string line = ReadableLogFormatter::format(record);
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace ml::logging

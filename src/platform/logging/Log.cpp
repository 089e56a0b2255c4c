#include "platform/logging/Log.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "platform/logging/LogRecord.h"
#include "platform/logging/LogWriter.h"

namespace ml::logging {

namespace {

constexpr int kNothingAccepted = kSeverityCount;

// Process-wide logging state. Never destroyed, so log calls made from static destructors or from
// threads still running at exit find it intact.
struct LogState {
  std::array<LogChannel, kSeverityCount> channels{
      LogChannel(LogSeverity::verbose), LogChannel(LogSeverity::debug), LogChannel(LogSeverity::info),
      LogChannel(LogSeverity::warning), LogChannel(LogSeverity::error)};
  // Index of the lowest severity some configuration accepts; read without a lock on every call.
  std::atomic<int> lowestAccepted{kNothingAccepted};
  std::mutex mutex;  // guards the two members below
  bool enabled = false;
  std::shared_ptr<LogWriter> writer;
  bool exitHookInstalled = false;
};

LogState& state() {
  static LogState* instance = [] {
    alignas(LogState) static unsigned char storage[sizeof(LogState)];
    return ::new (storage) LogState();
  }();
  return *instance;
}

std::shared_ptr<LogWriter> currentWriter() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.writer;
}

struct ThreadIdentity {
  long id = 0;
  std::string name;
};

// Taken once per thread, at its first log call: the kernel id, and "main" for the process's first
// thread or else the name the thread gave itself (queues name their workers).
const ThreadIdentity& currentThread() {
  thread_local ThreadIdentity identity = [] {
    ThreadIdentity t;
    t.id = static_cast<long>(::syscall(SYS_gettid));
    if (t.id == static_cast<long>(::getpid())) {
      t.name = "main";
    } else {
      char name[32] = {};
      if (pthread_getname_np(pthread_self(), name, sizeof name) == 0) t.name = name;
    }
    return t;
  }();
  return identity;
}

void submit(LogSeverity severity, SourceLocation where, bool isTrace, std::string_view text) {
  auto writer = currentWriter();
  if (!writer) return;
  LogRecord record;
  record.time = writer->now();
  record.severity = severity;
  record.where = where;
  const auto& thread = currentThread();
  record.threadId = thread.id;
  record.threadName = thread.name;
  record.isTrace = isTrace;
  record.text = std::string(text);
  writer->submit(std::move(record));
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
  if (configurations.empty()) return true;
  int lowest = kNothingAccepted;
  for (const auto& c : configurations) lowest = std::min(lowest, static_cast<int>(c.minimumSeverity()));
  if (!now) now = [] { return std::chrono::system_clock::now(); };
  s.writer = std::make_shared<LogWriter>(std::move(configurations), std::move(now));
  if (!s.exitHookInstalled) {
    // Lines still queued at a normal exit are written before the process goes.
    s.exitHookInstalled = true;
    std::atexit([] { Log::flush(); });
  }
  s.lowestAccepted.store(lowest, std::memory_order_release);
  return true;
}

bool Log::isEnabled() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.enabled;
}

void Log::flush() {
  if (auto writer = currentWriter()) writer->flush();
}

void Log::resetForTesting() {
  auto& s = state();
  std::shared_ptr<LogWriter> writer;
  {
    std::lock_guard lock(s.mutex);
    s.lowestAccepted.store(kNothingAccepted, std::memory_order_release);
    s.enabled = false;
    writer = std::move(s.writer);
  }
  if (writer) writer->stop();
}

void LogChannel::message(std::string_view text, SourceLocation where) const {
  submit(severity_, where, false, text);
}

void LogChannel::trace(SourceLocation where) const { submit(severity_, where, true, {}); }

}  // namespace ml::logging

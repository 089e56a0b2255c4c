#include "beacon/core/TLLogger.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "beacon/core/TLNeverDestroyed.h"

namespace ml::beacon {

namespace {

// The logger's process-wide state. The handler is read on every line from any thread: a reader
// copies the pointer under `handlerLock` and calls the handler outside it, keeping the handler it
// took alive even if another thread replaces it meanwhile. (The library's atomic shared pointer
// would do without the lock, but its load releases its inner lock with relaxed order, so a load
// and a later store are not ordered for a race detector.)
struct LoggerState {
  std::mutex lock;  // serialises level and handler changes
  std::atomic<int> level{static_cast<int>(TLLogLevel::assert)};
  std::atomic<bool> userDefined{false};
  std::mutex handlerLock;  // held only to copy or replace `handler`
  std::shared_ptr<const TLLogHandler> handler = std::make_shared<const TLLogHandler>(&TLLogger::tlDefaultLogHandler);

  void setHandler(std::shared_ptr<const TLLogHandler> replacement) {
    std::lock_guard guard(handlerLock);
    handler.swap(replacement);
    // The old handler goes when `replacement` does, outside the lock.
  }
  std::shared_ptr<const TLLogHandler> currentHandler() {
    std::lock_guard guard(handlerLock);
    return handler;
  }
};

// Never destroyed: the client's threads may log while static objects are torn down at exit.
LoggerState& state() {
  static TLNeverDestroyed<LoggerState> instance;
  return instance.get();
}

}  // namespace

TLLogLevel TLLogger::currentLogLevel() { return static_cast<TLLogLevel>(state().level.load()); }

void TLLogger::setCurrentLogLevel(TLLogLevel level) {
  std::lock_guard guard(state().lock);
  state().userDefined = true;
  state().level = static_cast<int>(level);
}

void TLLogger::setLogHandler(TLLogHandler handler) {
  std::lock_guard guard(state().lock);
  state().userDefined = true;
  state().setHandler(std::make_shared<const TLLogHandler>(std::move(handler)));
}

bool TLLogger::isUserDefinedLogLevel() { return state().userDefined.load(); }

void TLLogger::setIsUserDefinedLogLevel(bool userDefined) { state().userDefined = userDefined; }

void TLLogger::logMessage(const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag,
                          const char* file, const char* function, std::uint32_t line) {
  std::shared_ptr<const TLLogHandler> handler = state().currentHandler();
  if (handler && *handler) (*handler)(message, level, tag, file, function, line);
}

std::string_view TLLogger::levelName(TLLogLevel level) {
  switch (level) {
    case TLLogLevel::verbose: return "VERBOSE";
    case TLLogLevel::debug: return "DEBUG";
    case TLLogLevel::info: return "INFO";
    case TLLogLevel::warning: return "WARNING";
    case TLLogLevel::error: return "ERROR";
    case TLLogLevel::assert: return "ASSERT";
    default: return {};
  }
}

std::string TLLogger::formatLine(std::string_view tag, TLLogLevel level, const char* function, std::uint32_t line,
                                 std::string_view message) {
  std::string text;
  text.reserve(tag.size() + message.size() + 48);
  text.append("[").append(tag).append("] ").append(levelName(level)).append(": ");
  text.append(function ? function : "").append("/").append(std::to_string(line)).append(" ").append(message);
  return text;
}

void TLLogger::tlDefaultLogHandler(const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag,
                                 const char* /*file*/, const char* function, std::uint32_t line) {
  if (static_cast<int>(level) < static_cast<int>(currentLogLevel())) return;
  if (level == TLLogLevel::none) return;
  std::string text = formatLine(tag, level, function, line, message());
  text.push_back('\n');
  // One write per line so lines from several threads do not interleave.
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void TLLogger::resetToDefaults() {
  std::lock_guard guard(state().lock);
  state().userDefined = false;
  state().level = static_cast<int>(TLLogLevel::assert);
  state().setHandler(std::make_shared<const TLLogHandler>(&TLLogger::tlDefaultLogHandler));
}

}  // namespace ml::beacon

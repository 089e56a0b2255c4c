#pragma once
// The application's leveled logger.
//
//   LOG_ERROR("failed to rollback basic attributes. path=" << path);
//   LOG_TRACE();
//
// The macros build their text (stream syntax) only when the channel is present, i.e. when an
// enabled configuration accepts the severity; otherwise the arguments are not evaluated. Each line
// carries the time, severity, thread, and the calling function, file and line.
//
// Thread safety: every function here may be called from any thread at any time. enable() takes
// effect once per process; later calls are ignored (resetForTesting() starts over).
#include <chrono>
#include <functional>
#include <sstream>
#include <vector>

#include "platform/logging/LogChannel.h"
#include "platform/logging/LogSeverity.h"
#include "platform/logging/RotatingLogFileConfiguration.h"

namespace ml::logging {

// Where log lines take their time from (which also decides the day file they go to); tests pass
// a virtual clock. Called on the logging threads, so it must be safe to call from any thread.
using NowSource = std::function<std::chrono::system_clock::time_point()>;

class Log {
 public:
  // One channel per severity; null when no enabled configuration accepts it. The pointers stay
  // valid for the life of the process.
  static LogChannel* error();
  static LogChannel* warning();
  static LogChannel* info();
  static LogChannel* debug();
  static LogChannel* verbose();
  static LogChannel* channel(LogSeverity severity);

  // Starts logging to the given configurations. Returns false (and changes nothing) when logging
  // was already enabled in this process. An empty list enables nothing: every channel stays null.
  // `now` defaults to the system clock.
  static bool enable(std::vector<RotatingLogFileConfiguration> configurations, NowSource now = {});
  static bool isEnabled();

  // Waits until every line recorded before the call has been written and flushed to its file.
  static void flush();

  // Test hook: flushes, stops the writer and disables logging, so enable() works again.
  static void resetForTesting();
};

}  // namespace ml::logging

#define ML_LOG_AT_(channelExpr, streamExpr)                                        \
  do {                                                                             \
    if (const ::ml::logging::LogChannel* ml_log_channel_ = (channelExpr)) {        \
      std::ostringstream ml_log_stream_;                                           \
      ml_log_stream_ << streamExpr;                                                \
      ml_log_channel_->message(ml_log_stream_.str());                              \
    }                                                                              \
  } while (false)

#define LOG_ERROR(streamExpr) ML_LOG_AT_(::ml::logging::Log::error(), streamExpr)
#define LOG_WARNING(streamExpr) ML_LOG_AT_(::ml::logging::Log::warning(), streamExpr)
#define LOG_INFO(streamExpr) ML_LOG_AT_(::ml::logging::Log::info(), streamExpr)
#define LOG_DEBUG(streamExpr) ML_LOG_AT_(::ml::logging::Log::debug(), streamExpr)
#define LOG_VERBOSE(streamExpr) ML_LOG_AT_(::ml::logging::Log::verbose(), streamExpr)
// Records on the debug channel that the enclosing function ran.
#define LOG_TRACE()                                                                \
  do {                                                                             \
    if (const ::ml::logging::LogChannel* ml_log_channel_ = ::ml::logging::Log::debug()) \
      ml_log_channel_->trace();                                                    \
  } while (false)

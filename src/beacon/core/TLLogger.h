#pragma once
// The telemetry client's own leveled logger.
//
// Every telemetry line goes through TLLogger::logMessage with a message provider (the text is built
// only if a handler asks for it), a level, a tag ("Beacon", "BeaconAnalytics", "BeaconCrashes"),
// and the source location. A replaceable handler decides what is printed; the default handler
// prints lines at or above the current level to standard error as
//   [<tag>] <LEVEL>: <function>/<line> <message>
//
// Process-wide state, no instances, never destroyed (lines logged by the client's threads during
// the program's exit still find it). Level and handler changes are serialised on one lock;
// logMessage may be called from any thread and takes no lock (the handler is swapped atomically,
// so a line races only with which handler prints it, never with a half-replaced one).
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace ml::beacon {

// Signed levels; values outside the named ones are allowed and print without a level name.
enum class TLLogLevel : int {
  verbose = 2,
  debug = 3,
  info = 4,
  warning = 5,
  error = 6,
  assert = 7,
  none = 99,
};

// A non-owning reference to the callable that builds a line's text. Valid only for the duration
// of the logMessage call that hands it out: handlers must call it there or not at all.
class TLLogMessageProvider {
 public:
  template <class F>
  TLLogMessageProvider(const F& f)  // NOLINT(google-explicit-constructor): lambdas convert implicitly
      : object_(&f), call_([](const void* o) { return std::string((*static_cast<const F*>(o))()); }) {}
  std::string operator()() const { return call_(object_); }

 private:
  const void* object_;
  std::string (*call_)(const void*);
};

using TLLogHandler = std::function<void(const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag,
                                        const char* file, const char* function, std::uint32_t line)>;

class TLLogger {
 public:
  TLLogger() = delete;

  static TLLogLevel currentLogLevel();
  // Sets the level and marks it as chosen by the host, so start-up leaves it alone.
  static void setCurrentLogLevel(TLLogLevel level);
  // Replaces the handler (an empty function prints nothing) and marks the level as host-chosen.
  static void setLogHandler(TLLogHandler handler);
  static bool isUserDefinedLogLevel();
  static void setIsUserDefinedLogLevel(bool userDefined);

  // Calls the current handler with all six arguments; the level test is the handler's business.
  static void logMessage(const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag,
                         const char* file, const char* function, std::uint32_t line);

  // The handler installed at start: prints to standard error when the level is at or above the
  // current level.
  static void tlDefaultLogHandler(const TLLogMessageProvider& message, TLLogLevel level, std::string_view tag,
                                const char* file, const char* function, std::uint32_t line);
  // The printed name of a level ("VERBOSE" ... "ASSERT"); empty for none and unnamed levels.
  static std::string_view levelName(TLLogLevel level);
  // The default handler's line, without the trailing newline.
  static std::string formatLine(std::string_view tag, TLLogLevel level, const char* function, std::uint32_t line,
                                std::string_view message);

  // Restores the state of a fresh process: level assert, not user-defined, default handler.
  // For tests, which share one process-wide logger.
  static void resetToDefaults();
};

// The core's tag.
inline constexpr std::string_view kBeaconLogTag = "Beacon";

}  // namespace ml::beacon

// Stream-style logging macros; the message is formatted only when the handler asks for it:
//   TL_LOG_WARNING(kBeaconLogTag, "Log is not valid. type=" << log.type());
#define TL_LOG(levelValue, tagValue, streamExpression)                                                \
  ::ml::beacon::TLLogger::logMessage(                                                                 \
      [&]() -> std::string {                                                                          \
        std::ostringstream tlLogStream_;                                                              \
        tlLogStream_ << streamExpression;                                                             \
        return std::move(tlLogStream_).str();                                                         \
      },                                                                                              \
      (levelValue), (tagValue), __FILE__, __func__, static_cast<std::uint32_t>(__LINE__))
#define TL_LOG_VERBOSE(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::verbose, tag, expr)
#define TL_LOG_DEBUG(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::debug, tag, expr)
#define TL_LOG_INFO(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::info, tag, expr)
#define TL_LOG_WARNING(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::warning, tag, expr)
#define TL_LOG_ERROR(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::error, tag, expr)
#define TL_LOG_ASSERT(tag, expr) TL_LOG(::ml::beacon::TLLogLevel::assert, tag, expr)

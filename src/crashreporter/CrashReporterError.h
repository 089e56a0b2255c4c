#pragma once
// Errors the crash reporter reports outside the crash path, and the result type that carries them.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace ml::crash {

inline constexpr char kTLCrashReporterErrorDomain[] = "TLCrashReporterErrorDomain";

enum TLCrashReporterErrorCode : int32_t {
  TLCrashReporterErrorUnknown = 0,           // unclassified failure
  TLCrashReporterErrorOperatingSystem = 1,   // an operating-system call failed
  TLCrashReporterErrorCrashReportInvalid = 2,  // the crash report data is invalid
  TLCrashReporterErrorResourceBusy = 3,      // a crash reporter was already enabled
};

// Where the underlying error number of an operating-system failure comes from.
enum class TLCrashUnderlyingErrorDomain : uint8_t {
  kNone,
  kPosix,  // osError is an errno value
  kMach,   // osError is a kernel return code of the (emulated) Mach calls
};

struct TLCrashReporterError {
  TLCrashReporterErrorCode code = TLCrashReporterErrorUnknown;
  std::string description;
  int osError = 0;  // the underlying error number of an operating-system failure, 0 otherwise
  TLCrashUnderlyingErrorDomain underlyingDomain = TLCrashUnderlyingErrorDomain::kNone;

  const char* domain() const { return kTLCrashReporterErrorDomain; }
};

// A value, or the error that kept it from being made.
template <typename T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}                       // NOLINT: implicit by design
  Result(TLCrashReporterError error) : state_(std::move(error)) {}    // NOLINT: implicit by design

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  // Precondition: ok().
  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  // Precondition: !ok().
  const TLCrashReporterError& error() const { return std::get<TLCrashReporterError>(state_); }

 private:
  std::variant<T, TLCrashReporterError> state_;
};

}  // namespace ml::crash

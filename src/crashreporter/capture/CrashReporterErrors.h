#pragma once
// Building the crash reporter's errors (domain "TLCrashReporterErrorDomain") outside the crash
// path, and the exception that reports misuse of the reporter. Normal context only (allocates).
#include <stdexcept>
#include <string>

#include "crashreporter/CrashReporterError.h"

namespace ml::crash {

// Misuse of the reporter (enabling twice on one instance, setting callbacks after enabling, an
// application without identity): a programming error, thrown rather than returned.
class TLCrashReporterException : public std::logic_error {
 public:
  explicit TLCrashReporterException(const std::string& reason) : std::logic_error(reason) {}
  static constexpr const char* kName = "TLCrashReporterException";
};

// Success of a call that has nothing to return.
struct TLCrashOk {};
using TLCrashStatus = Result<TLCrashOk>;

// `code` with `description`; the underlying failure, when given, lends its error number and domain.
TLCrashReporterError tlcrash_populate_error(TLCrashReporterErrorCode code, const std::string& description,
                                            const TLCrashReporterError* underlying = nullptr);
// Code 1 with an underlying POSIX error number.
TLCrashReporterError tlcrash_populate_posix_error(int error_number, const std::string& description);
// Code 1 with an underlying kernel return code of the Mach calls.
TLCrashReporterError tlcrash_populate_mach_error(int kern_return, const std::string& description);

}  // namespace ml::crash

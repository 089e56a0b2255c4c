#include "crashreporter/capture/CrashReporterErrors.h"

namespace ml::crash {

TLCrashReporterError tlcrash_populate_error(TLCrashReporterErrorCode code, const std::string& description,
                                            const TLCrashReporterError* underlying) {
  TLCrashReporterError error;
  error.code = code;
  error.description = description;
  if (underlying != nullptr) {
    error.osError = underlying->osError;
    error.underlyingDomain = underlying->underlyingDomain;
  }
  return error;
}

TLCrashReporterError tlcrash_populate_posix_error(int error_number, const std::string& description) {
  TLCrashReporterError error;
  error.code = TLCrashReporterErrorOperatingSystem;
  error.description = description;
  error.osError = error_number;
  error.underlyingDomain = TLCrashUnderlyingErrorDomain::kPosix;
  return error;
}

TLCrashReporterError tlcrash_populate_mach_error(int kern_return, const std::string& description) {
  TLCrashReporterError error;
  error.code = TLCrashReporterErrorOperatingSystem;
  error.description = description;
  error.osError = kern_return;
  error.underlyingDomain = TLCrashUnderlyingErrorDomain::kMach;
  return error;
}

}  // namespace ml::crash

#include "beacon/crashes/Internals/TLCrashesCXXTerminatePath.h"

#include <cstdlib>

#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"

namespace ml::beacon {

void uncaught_cxx_exception_handler(const TLCrashesUncaughtCXXExceptionInfo* info) {
  const crash::TLUncaughtExceptionHandler handler = crash::tl_get_uncaught_exception_handler();
  if (handler && info) {
    auto wrapper = TLCrashesCXXExceptionWrapperException::fromInfo(*info);
    crash::TLUncaughtException exception;
    exception.name = std::move(wrapper.name);
    exception.reason = std::move(wrapper.reason);
    exception.callStackReturnAddresses.assign(wrapper.callStackReturnAddresses.begin(),
                                              wrapper.callStackReturnAddresses.end());
    handler(exception);
  }
  std::abort();
}

}  // namespace ml::beacon

// The service's terminate path hands an uncaught C++ exception to the process's
// uncaught-exception handler with its demangled type and message.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "beacon/crashes/Internals/TLCrashesCXXTerminatePath.h"
#include "crashreporter/capture/platform/UncaughtExceptionHandler.h"

namespace ml::beacon {
namespace {

[[noreturn]] void throwLogicError() { throw std::logic_error("bad state"); }
void throwThroughNoexcept() noexcept { throwLogicError(); }

TEST(TLCrashesCXXTerminatePathDeathTest, UncaughtExceptionReachesTheUncaughtExceptionHandler) {
  EXPECT_DEATH(
      {
        crash::tl_set_uncaught_exception_handler([](const crash::TLUncaughtException& exception) {
          std::fprintf(stderr, "reporter got %s: %s (%zu frames)\n", exception.name.c_str(), exception.reason.c_str(),
                       exception.callStackReturnAddresses.empty() ? size_t{0} : size_t{1});
        });
        TLCrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(uncaught_cxx_exception_handler);
        throwThroughNoexcept();
      },
      "reporter got std::logic_error: bad state \\(1 frames\\)");
}

}  // namespace
}  // namespace ml::beacon

// C++ exceptions that reach terminate: classification, wrapper text and handler registration.
#include <gtest/gtest.h>

#include <stdexcept>

#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"

namespace ml::beacon {
namespace {

using Manager = TLCrashesUncaughtCXXExceptionHandlerManager;

TLCrashesCXXExceptionWrapperException describe(std::exception_ptr exception) {
  TLCrashesCXXExceptionWrapperException result;
  try {
    std::rethrow_exception(exception);
  } catch (...) {
    EXPECT_TRUE(Manager::describeCurrentException(
        [](const TLCrashesUncaughtCXXExceptionInfo* info, void* context) {
          *static_cast<TLCrashesCXXExceptionWrapperException*>(context) =
              TLCrashesCXXExceptionWrapperException::fromInfo(*info);
        },
        &result));
  }
  return result;
}

TEST(TLCrashesUncaughtCXXException, StandardExceptionGivesDemangledNameAndWhat) {
  auto wrapper = describe(std::make_exception_ptr(std::runtime_error("boom")));
  EXPECT_EQ(wrapper.name, "std::runtime_error");
  EXPECT_EQ(wrapper.reason, "boom");
  EXPECT_FALSE(wrapper.callStackReturnAddresses.empty());
  EXPECT_LE(wrapper.callStackReturnAddresses.size(), 127u);
}

TEST(TLCrashesUncaughtCXXException, TextAndOtherThrownValues) {
  EXPECT_EQ(describe(std::make_exception_ptr("literal")).reason, "literal");
  EXPECT_EQ(describe(std::make_exception_ptr(std::string("text"))).reason, "text");
  auto number = describe(std::make_exception_ptr(42));
  EXPECT_EQ(number.name, "int");
  EXPECT_EQ(number.reason, "");
}

TEST(TLCrashesUncaughtCXXException, NoCurrentExceptionDeliversNothing) {
  bool called = false;
  EXPECT_FALSE(Manager::describeCurrentException(
      [](const TLCrashesUncaughtCXXExceptionInfo*, void* context) { *static_cast<bool*>(context) = true; }, &called));
  EXPECT_FALSE(called);
}

[[noreturn]] void throwBoom() { throw std::runtime_error("boom"); }
// No handler above a noexcept frame: the runtime calls terminate with the throw in flight.
void throwUncaught() noexcept { throwBoom(); }

void handlerA(const TLCrashesUncaughtCXXExceptionInfo*) {}
void otherTerminate() { std::abort(); }

TEST(TLCrashesUncaughtCXXException, RegistrationInstallsAndRestoresTerminateHandler) {
  const auto original = std::get_terminate();
  Manager::addCXXExceptionHandler(handlerA);
  Manager::addCXXExceptionHandler(handlerA);
  EXPECT_EQ(Manager::countCXXExceptionHandler(), 2u);
  EXPECT_NE(std::get_terminate(), original);
  Manager::removeCXXExceptionHandler(handlerA);
  EXPECT_EQ(Manager::countCXXExceptionHandler(), 1u);
  EXPECT_NE(std::get_terminate(), original);
  Manager::removeCXXExceptionHandler(handlerA);
  EXPECT_EQ(std::get_terminate(), original);

  Manager::addCXXExceptionHandler(handlerA);
  std::set_terminate(otherTerminate);
  Manager::removeCXXExceptionHandler(handlerA);
  EXPECT_EQ(std::get_terminate(), otherTerminate);
  std::set_terminate(original);
}

TEST(TLCrashesUncaughtCXXExceptionDeathTest, UncaughtExceptionReachesHandlersWithThrowerFrame) {
  EXPECT_DEATH(
      {
        Manager::addCXXExceptionHandler([](const TLCrashesUncaughtCXXExceptionInfo* info) {
          auto wrapper = TLCrashesCXXExceptionWrapperException::fromInfo(*info);
          fprintf(stderr, "handled %s: %s\n", wrapper.name.c_str(), wrapper.reason.c_str());
        });
        throwUncaught();
      },
      "handled std::runtime_error: boom");
}

}  // namespace
}  // namespace ml::beacon

// The windows' thread rules are asserted where they are written: a member documented "main
// thread" that is reached from another thread stops a build with asserts (the sanitizer flavour)
// instead of racing the widgets. The shipped build compiles the asserts out, so there is nothing
// to see there.
#include <thread>

#include "FindWindowFixture.h"

namespace ml::find::testing {
namespace {

using FindWindowDeathTest = FindWindowTest;

TEST_F(FindWindowDeathTest, AMainThreadMemberCalledFromAnotherThreadStops) {
#ifdef NDEBUG
  GTEST_SKIP() << "asserts are compiled out of this build";
#else
  // The process has threads (the stores' queues, Qt's): the child starts afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto window = open();
  // The same member on the main thread is fine.
  window->changeDestination(0);
  EXPECT_DEATH(
      {
        std::thread planted([&] { window->changeDestination(0); });
        planted.join();
      },
      "must run on the main thread");
#endif
}

}  // namespace
}  // namespace ml::find::testing

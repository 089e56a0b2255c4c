#pragma once
// What the crash tests share: a sandboxed cache folder for the reports, the child-side set-up
// that makes every child start from the same signal actions, and whether crashes can be tested in
// this build at all.
#include <gtest/gtest.h>

#include <memory>

#include "support/TempDir.h"

namespace ml::crash::test {

// Puts the fault signals and SIGABRT back to their default actions. Sanitizer builds install
// handlers of their own before main; a child clears them so that the reporter's handlers are the
// only ones and the child ends with the signal itself.
void resetCrashSignals();

// A test fixture with XDG folders in a sandbox (the children inherit it).
class CrashTest : public testing::Test {
 protected:
  void SetUp() override;

  std::unique_ptr<ml::test::XdgSandbox> sandbox_;
};

}  // namespace ml::crash::test

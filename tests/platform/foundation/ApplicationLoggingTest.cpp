#include "platform/foundation/ApplicationLogging.h"

#include <gtest/gtest.h>

#include "platform/foundation/AppFolders.h"
#include "support/TempDir.h"

namespace ml::foundation {
namespace {

TEST(ApplicationLoggingTest, LogsGoBelowTheXdgStateFolder) {
  test::XdgSandbox sandbox;
  logging::Log::resetForTesting();
  ::testing::internal::CaptureStderr();
  auto made = setUpApplicationLogging(true);
  ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(made.size(), 2u);
  auto logs = sandbox.root() / "XDG_STATE_HOME" / "org.marrowlane.Marrowlane" / "logs";
  EXPECT_EQ(made[0].directory(), logs / "full");
  EXPECT_EQ(made[1].directory(), logs / "error");
  EXPECT_TRUE(std::filesystem::is_directory(logs / "full"));
  EXPECT_TRUE(std::filesystem::is_directory(logs / "error"));
  logging::Log::resetForTesting();
}

}  // namespace
}  // namespace ml::foundation

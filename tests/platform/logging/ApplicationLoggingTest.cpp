// The application's "full" and "error" folders.
#include "platform/logging/ApplicationLogging.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "support/TempDir.h"

namespace ml::logging {
namespace {

using testing::readFile;

class ApplicationLoggingTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  testing::VirtualClock clock_{testing::localNoon(2026, 12, 7)};
  // Last, so logging stops before the clock and the folder it writes to go away.
  testing::LoggingReset reset_;
  std::filesystem::path logs() const { return dir_.path() / "logs"; }
  std::string today(const char* folder) const { return readFile(logs() / folder / "2026-12-07.log"); }
};

TEST_F(ApplicationLoggingTest, WithoutDebugLogsThereIsNoFullFolderAndInfoGoesNowhere) {
  ::testing::internal::CaptureStderr();
  auto made = setUpApplicationLogging(false, logs(), clock_.source());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].minimumSeverity(), LogSeverity::error);
  EXPECT_EQ(made[0].daysToKeep(), 14);
  EXPECT_EQ(Log::info(), nullptr);
  EXPECT_EQ(Log::warning(), nullptr);
  LOG_INFO("Application startup complete");
  LOG_ERROR("failed to save attributes. path=/x");
  Log::flush();
  EXPECT_FALSE(std::filesystem::exists(logs() / "full"));
  EXPECT_EQ(today("error").find("Application startup complete"), std::string::npos);
  EXPECT_NE(today("error").find("failed to save attributes. path=/x"), std::string::npos);
}

TEST_F(ApplicationLoggingTest, WithDebugLogsInfoGoesToFullButNotToError) {
  ::testing::internal::CaptureStderr();
  auto made = setUpApplicationLogging(true, logs(), clock_.source());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Debug logs are enabled. Setting up log directory...\n");
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].directory(), logs() / "full");
  EXPECT_EQ(made[0].minimumSeverity(), LogSeverity::debug);
  EXPECT_EQ(made[0].daysToKeep(), 3);
  EXPECT_FALSE(made[0].synchronousMode());
  EXPECT_EQ(made[1].directory(), logs() / "error");
  EXPECT_EQ(Log::verbose(), nullptr);
  LOG_VERBOSE("too fine");
  LOG_DEBUG("keyboard state: none");
  LOG_INFO("Application startup complete");
  LOG_ERROR("failed to count items in trash: nil");
  Log::flush();
  std::string full = today("full"), error = today("error");
  EXPECT_EQ(full.find("too fine"), std::string::npos);
  EXPECT_NE(full.find("keyboard state: none"), std::string::npos);
  EXPECT_NE(full.find("Application startup complete"), std::string::npos);
  EXPECT_NE(full.find("failed to count items in trash: nil"), std::string::npos);
  EXPECT_EQ(error.find("Application startup complete"), std::string::npos);
  EXPECT_EQ(error.find("keyboard state"), std::string::npos);
  EXPECT_NE(error.find("failed to count items in trash: nil"), std::string::npos);
}

TEST_F(ApplicationLoggingTest, OldFilesOfBothFoldersAreRemoved) {
  for (const char* folder : {"full", "error"}) {
    std::filesystem::create_directories(logs() / folder);
    for (const char* name : {"2026-11-23.log", "2026-11-24.log", "2026-12-04.log", "2026-12-05.log"})
      std::ofstream(logs() / folder / name) << "old\n";
  }
  ::testing::internal::CaptureStderr();
  setUpApplicationLogging(true, logs(), clock_.source());
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(testing::fileNames(logs() / "full"), (std::vector<std::string>{"2026-12-05.log"}));
  EXPECT_EQ(testing::fileNames(logs() / "error"),
            (std::vector<std::string>{"2026-11-24.log", "2026-12-04.log", "2026-12-05.log"}));
}

TEST_F(ApplicationLoggingTest, FullFolderFailureStillLeavesTheErrorLog) {
  std::filesystem::create_directories(logs());
  std::ofstream(logs() / "full") << "in the way";
  ::testing::internal::CaptureStderr();
  auto made = setUpApplicationLogging(true, logs(), clock_.source());
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[ERROR] unable to create log directories. NSPOSIXErrorDomain"), std::string::npos) << err;
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].directory(), logs() / "error");
  LOG_ERROR("still recorded");
  Log::flush();
  EXPECT_NE(today("error").find("still recorded"), std::string::npos);
}

}  // namespace
}  // namespace ml::logging

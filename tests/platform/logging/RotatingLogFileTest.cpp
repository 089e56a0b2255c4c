// Lines reach the file of their local day; days rotate and expire in virtual time.
#include <gtest/gtest.h>

#include <thread>

#include "LogTestSupport.h"
#include "platform/logging/LocalDay.h"
#include "platform/logging/Log.h"
#include "support/TempDir.h"

namespace ml::logging {
namespace {

using namespace std::chrono_literals;
using testing::fileNames;
using testing::localNoon;
using testing::readFile;
using testing::readLines;

class RotatingLogFileTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  testing::VirtualClock clock_{localNoon(2026, 12, 7)};
  // Last, so logging stops before the clock and the folder it writes to go away.
  testing::LoggingReset reset_;
  std::filesystem::path folder() const { return dir_.path() / "logs"; }
  RotatingLogFileConfiguration configuration(LogSeverity minimum, int days, bool synchronous = false) const {
    return RotatingLogFileConfiguration(minimum, days, folder(), synchronous);
  }
};

TEST_F(RotatingLogFileTest, LinesGoToTheFileOfTheirLocalDayWithCallSite) {
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3)}, clock_.source()));
  LOG_INFO("hello value=" << 42);
  int line = __LINE__ - 1;
  Log::flush();
  auto lines = readLines(folder() / "2026-12-07.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("| INFO    | "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("RotatingLogFileTest.cpp:" + std::to_string(line) + " "), std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find("TestBody | hello value=42"), std::string::npos) << lines[0];
}

TEST_F(RotatingLogFileTest, FileKeepsOnlyItsMinimumSeverityAndAbove) {
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::warning, 3)}, clock_.source()));
  ASSERT_EQ(Log::info(), nullptr);
  LOG_WARNING("careful");
  LOG_ERROR("broken");
  Log::flush();
  auto lines = readLines(folder() / "2026-12-07.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("careful"), std::string::npos);
  EXPECT_NE(lines[1].find("broken"), std::string::npos);
}

TEST_F(RotatingLogFileTest, TraceRecordsTheFunctionThatRan) {
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::debug, 3)}, clock_.source()));
  LOG_TRACE();
  Log::flush();
  auto text = readFile(folder() / "2026-12-07.log");
  EXPECT_NE(text.find("| DEBUG   | "), std::string::npos) << text;
  EXPECT_NE(text.find("TestBody | (trace)"), std::string::npos) << text;
}

TEST_F(RotatingLogFileTest, DayChangeStartsANewFileAndAppendsToExistingOnes) {
  std::filesystem::create_directories(folder());
  {
    std::ofstream earlier(folder() / "2026-12-07.log");
    earlier << "earlier line\n";
  }
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3)}, clock_.source()));
  LOG_INFO("monday");
  clock_.advance(24h);
  LOG_INFO("tuesday");
  Log::flush();
  auto monday = readLines(folder() / "2026-12-07.log");
  ASSERT_EQ(monday.size(), 2u);
  EXPECT_EQ(monday[0], "earlier line");
  EXPECT_NE(monday[1].find("monday"), std::string::npos);
  auto tuesday = readLines(folder() / "2026-12-08.log");
  ASSERT_EQ(tuesday.size(), 1u);
  EXPECT_NE(tuesday[0].find("tuesday"), std::string::npos);
}

TEST_F(RotatingLogFileTest, ExpiredDayFilesAreRemovedAtEnableAndOthersLeftAlone) {
  std::filesystem::create_directories(folder());
  for (const char* name : {"2026-12-03.log", "2026-12-04.log", "2026-12-05.log", "2026-12-06.log",
                           "notes.txt", "2026-12-01.log.bak"})
    std::ofstream(folder() / name) << "x\n";
  std::filesystem::create_directories(folder() / "2026-11-01.log");  // a folder, not a day file
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3)}, clock_.source()));
  // Kept: the current day and the two before it.
  EXPECT_EQ(fileNames(folder()), (std::vector<std::string>{"2026-11-01.log", "2026-12-01.log.bak",
                                                            "2026-12-05.log", "2026-12-06.log", "notes.txt"}));
}

TEST_F(RotatingLogFileTest, ExpiredDayFilesAreRemovedWhenTheDayChanges) {
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3)}, clock_.source()));
  for (int day = 0; day < 6; ++day) {
    LOG_INFO("day " << day);
    clock_.advance(24h);
  }
  Log::flush();
  EXPECT_EQ(fileNames(folder()), (std::vector<std::string>{"2026-12-10.log", "2026-12-11.log", "2026-12-12.log"}));
  // A day change without logging in between (a long sleep) expires everything older in one go.
  clock_.advance(24h * 30);
  LOG_INFO("back");
  Log::flush();
  EXPECT_EQ(fileNames(folder()), (std::vector<std::string>{"2027-01-12.log"}));
}

TEST_F(RotatingLogFileTest, SynchronousModeWritesBeforeTheCallReturns) {
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3, /*synchronous=*/true)}, clock_.source()));
  LOG_INFO("at once");
  EXPECT_NE(readFile(folder() / "2026-12-07.log").find("at once"), std::string::npos);
}

TEST_F(RotatingLogFileTest, UnwritableFolderDropsLinesWithoutFailing) {
  std::filesystem::create_directories(dir_.path());
  std::ofstream(folder()) << "a file where the folder should be";
  EXPECT_TRUE(configuration(LogSeverity::info, 3).createLogDirectory().has_value());
  ASSERT_TRUE(Log::enable({configuration(LogSeverity::info, 3)}, clock_.source()));
  ::testing::internal::CaptureStderr();
  LOG_INFO("nowhere to go");
  LOG_INFO("still nowhere");
  Log::flush();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("unable to open log file"), std::string::npos) << err;
  EXPECT_EQ(err.find("unable to open log file"), err.rfind("unable to open log file"))
      << "reported once per day: " << err;
}

TEST_F(RotatingLogFileTest, CreateLogDirectoryMakesParentsAndAcceptsAnExistingFolder) {
  auto c = RotatingLogFileConfiguration(LogSeverity::info, 3, dir_.path() / "a" / "b" / "c", false);
  ASSERT_FALSE(c.createLogDirectory().has_value());
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "a" / "b" / "c"));
  EXPECT_FALSE(c.createLogDirectory().has_value());
}

TEST_F(RotatingLogFileTest, CreateLogDirectoryReportsThePosixError) {
  std::ofstream(dir_.path() / "blocker") << "x";
  auto c = RotatingLogFileConfiguration(LogSeverity::info, 3, dir_.path() / "blocker" / "logs", false);
  auto failure = c.createLogDirectory();
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->code, ENOTDIR);
  EXPECT_EQ(failure->description(),
            "NSPOSIXErrorDomain(" + std::to_string(ENOTDIR) + "): create " + (dir_.path() / "blocker" / "logs").string() +
                ": Not a directory");
}

}  // namespace
}  // namespace ml::logging

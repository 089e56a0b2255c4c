#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LogCapture.h"
#include "beacon/core/TLLogger.h"

namespace ml::beacon {
namespace {

class TLLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { TLLogger::resetToDefaults(); }
  void TearDown() override { TLLogger::resetToDefaults(); }

  // Runs the default handler at `level` and answers whether it asked for the text (it asks only
  // when it prints).
  static bool defaultHandlerPrints(TLLogLevel level) {
    bool built = false;
    auto provider = [&] {
      built = true;
      return std::string("text");
    };
    TLLogger::tlDefaultLogHandler(provider, level, "Beacon", __FILE__, __func__, __LINE__);
    return built;
  }
};

TEST_F(TLLoggerTest, FreshLoggerPrintsOnlyAssertLines) {
  EXPECT_EQ(TLLogger::currentLogLevel(), TLLogLevel::assert);
  EXPECT_FALSE(TLLogger::isUserDefinedLogLevel());
  EXPECT_FALSE(defaultHandlerPrints(TLLogLevel::error));
  EXPECT_FALSE(defaultHandlerPrints(TLLogLevel::verbose));
  EXPECT_TRUE(defaultHandlerPrints(TLLogLevel::assert));
}

TEST_F(TLLoggerTest, LevelNonePrintsNothingAndMarksLevelUserDefined) {
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  EXPECT_TRUE(TLLogger::isUserDefinedLogLevel());
  EXPECT_FALSE(defaultHandlerPrints(TLLogLevel::assert));
  EXPECT_FALSE(defaultHandlerPrints(TLLogLevel::none));
}

TEST_F(TLLoggerTest, LinesAtOrAboveTheLevelPrint) {
  TLLogger::setCurrentLogLevel(TLLogLevel::warning);
  EXPECT_FALSE(defaultHandlerPrints(TLLogLevel::info));
  EXPECT_TRUE(defaultHandlerPrints(TLLogLevel::warning));
  EXPECT_TRUE(defaultHandlerPrints(TLLogLevel::error));
}

TEST_F(TLLoggerTest, InstallingAHandlerMarksLevelUserDefinedAndKeepsLevel) {
  TLLogger::setLogHandler([](auto&&...) {});
  EXPECT_TRUE(TLLogger::isUserDefinedLogLevel());
  EXPECT_EQ(TLLogger::currentLogLevel(), TLLogLevel::assert);
}

TEST_F(TLLoggerTest, HostHandlerReceivesEveryLineWithItsArguments) {
  test::LogCapture capture;
  TLLogger::setCurrentLogLevel(TLLogLevel::none);
  TL_LOG_VERBOSE("BeaconAnalytics", "value=" << 42);
  TL_LOG_ERROR(kBeaconLogTag, "broken");
  auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].level, TLLogLevel::verbose);
  EXPECT_EQ(lines[0].tag, "BeaconAnalytics");
  EXPECT_EQ(lines[0].message, "value=42");
  EXPECT_EQ(lines[1].level, TLLogLevel::error);
  EXPECT_EQ(lines[1].tag, "Beacon");
}

TEST_F(TLLoggerTest, SuppressedLineIsNeverFormatted) {
  TLLogger::setCurrentLogLevel(TLLogLevel::error);
  int formatted = 0;
  auto expensive = [&] {
    ++formatted;
    return "x";
  };
  TL_LOG_DEBUG(kBeaconLogTag, expensive());
  EXPECT_EQ(formatted, 0);
  TL_LOG_ERROR(kBeaconLogTag, expensive());
  EXPECT_EQ(formatted, 1);
}

TEST_F(TLLoggerTest, LineFormatCarriesTagLevelFunctionAndLine) {
  EXPECT_EQ(TLLogger::formatLine("Beacon", TLLogLevel::warning, "enqueueItem", 42, "Log is not valid."),
            "[Beacon] WARNING: enqueueItem/42 Log is not valid.");
  EXPECT_EQ(TLLogger::formatLine("Beacon", static_cast<TLLogLevel>(8), "f", 1, "m"), "[Beacon] : f/1 m");
  EXPECT_EQ(TLLogger::levelName(TLLogLevel::verbose), "VERBOSE");
  EXPECT_EQ(TLLogger::levelName(TLLogLevel::assert), "ASSERT");
  EXPECT_EQ(TLLogger::levelName(TLLogLevel::none), "");
}

TEST_F(TLLoggerTest, HandlerSwapWhileLoggingFromOtherThreadsIsSafe) {
  // Every line reaches exactly one handler, whichever is in place as it is logged: none is lost
  // or delivered twice while the handlers change under it (ThreadSanitizer watches the swap).
  std::atomic<int> seen{0};
  std::atomic<int> logged{0};
  std::atomic<bool> stop{false};
  TLLogger::setLogHandler([&](auto&&...) { ++seen; });
  std::thread logger([&] {
    while (!stop) {
      TL_LOG_ERROR(kBeaconLogTag, "line");
      ++logged;
    }
  });
  while (logged == 0) std::this_thread::yield();
  for (int i = 0; i < 200; ++i) {
    TLLogger::setLogHandler([&](auto&&...) { ++seen; });
  }
  stop = true;
  logger.join();
  EXPECT_GT(logged.load(), 0);
  EXPECT_EQ(seen.load(), logged.load());
}

}  // namespace
}  // namespace ml::beacon

#include "platform/logging/Log.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "support/TempDir.h"

namespace ml::logging {
namespace {

class LogChannelTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  // Last, so logging stops before the folder it writes to goes away.
  testing::LoggingReset reset_;
};

TEST_F(LogChannelTest, NoChannelIsPresentBeforeLoggingIsEnabled) {
  for (auto s : {LogSeverity::verbose, LogSeverity::debug, LogSeverity::info, LogSeverity::warning,
                 LogSeverity::error})
    EXPECT_EQ(Log::channel(s), nullptr);
}

TEST_F(LogChannelTest, ChannelsArePresentFromTheLowestAcceptedSeverityUp) {
  ASSERT_TRUE(Log::enable({RotatingLogFileConfiguration(LogSeverity::warning, 3, dir_.path() / "a", false)}));
  EXPECT_EQ(Log::verbose(), nullptr);
  EXPECT_EQ(Log::debug(), nullptr);
  EXPECT_EQ(Log::info(), nullptr);
  ASSERT_NE(Log::warning(), nullptr);
  ASSERT_NE(Log::error(), nullptr);
  EXPECT_EQ(Log::error()->severity(), LogSeverity::error);
}

TEST_F(LogChannelTest, EnableTakesEffectOncePerProcess) {
  ASSERT_TRUE(Log::enable({RotatingLogFileConfiguration(LogSeverity::error, 3, dir_.path() / "a", false)}));
  EXPECT_FALSE(Log::enable({RotatingLogFileConfiguration(LogSeverity::verbose, 3, dir_.path() / "b", false)}));
  EXPECT_EQ(Log::info(), nullptr);
  EXPECT_NE(Log::error(), nullptr);
}

TEST_F(LogChannelTest, MacrosDoNotEvaluateTheirTextWhenTheChannelIsAbsent) {
  ASSERT_TRUE(Log::enable({RotatingLogFileConfiguration(LogSeverity::error, 3, dir_.path() / "a", false)}));
  int evaluated = 0;
  auto count = [&] { return ++evaluated; };
  LOG_INFO("value=" << count());
  LOG_DEBUG("value=" << count());
  LOG_VERBOSE("value=" << count());
  LOG_WARNING("value=" << count());
  EXPECT_EQ(evaluated, 0);
  LOG_ERROR("value=" << count());
  EXPECT_EQ(evaluated, 1);
}

}  // namespace
}  // namespace ml::logging

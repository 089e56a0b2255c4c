// Many threads logging at once: nothing lost, nothing interleaved, each thread's order kept.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "LogTestSupport.h"
#include "platform/logging/Log.h"
#include "support/TempDir.h"

namespace ml::logging {
namespace {

TEST(LogConcurrencyTest, SixteenThreadsLoggingAtOnceLoseNoLine) {
  testing::LoggingReset reset;
  test::TempDir dir;
  testing::VirtualClock clock(testing::localNoon(2026, 12, 7));
  ASSERT_TRUE(Log::enable({RotatingLogFileConfiguration(LogSeverity::debug, 3, dir.path() / "full", false),
                           RotatingLogFileConfiguration(LogSeverity::error, 14, dir.path() / "error", false)},
                          clock.source()));
  constexpr int kThreads = 16;
  constexpr int kLinesPerThread = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        if (i % 10 == 0)
          LOG_ERROR("thread=" << t << " line=" << i << " end");
        else
          LOG_DEBUG("thread=" << t << " line=" << i << " end");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  Log::flush();

  auto full = testing::readLines(dir.path() / "full" / "2026-12-07.log");
  ASSERT_EQ(full.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  std::map<int, int> nextLine;
  for (const auto& line : full) {
    int t = -1, i = -1;
    auto at = line.find("thread=");
    ASSERT_NE(at, std::string::npos) << line;
    ASSERT_EQ(std::sscanf(line.c_str() + at, "thread=%d line=%d end", &t, &i), 2) << line;
    ASSERT_TRUE(line.ends_with(" end")) << line;
    EXPECT_EQ(i, nextLine[t]) << "thread " << t << " out of order";
    nextLine[t] = i + 1;
  }
  EXPECT_EQ(nextLine.size(), static_cast<size_t>(kThreads));
  auto errors = testing::readLines(dir.path() / "error" / "2026-12-07.log");
  EXPECT_EQ(errors.size(), static_cast<size_t>(kThreads * kLinesPerThread / 10));
}

}  // namespace
}  // namespace ml::logging

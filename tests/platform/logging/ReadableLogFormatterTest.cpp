#include "platform/logging/ReadableLogFormatter.h"

#include <gtest/gtest.h>

#include "LogTestSupport.h"

namespace ml::logging {
namespace {

LogRecord sampleRecord() {
  LogRecord r;
  r.time = testing::localNoon(2026, 12, 7) + std::chrono::milliseconds(123);
  r.severity = LogSeverity::error;
  r.where = SourceLocation("rollback", "/src/files/FileSystem.cpp", 42);
  r.threadId = 4242;
  r.threadName = "main";
  r.text = "failed to rollback basic attributes. path=/tmp/a";
  return r;
}

TEST(ReadableLogFormatterTest, LineNamesTimeSeverityThreadAndCallSite) {
  std::string line = ReadableLogFormatter::format(sampleRecord());
  EXPECT_EQ(line.rfind("2026-12-07 12:00:00.123 ", 0), 0u) << line;
  EXPECT_NE(line.find("| ERROR   | 4242 main | FileSystem.cpp:42 rollback | "
                      "failed to rollback basic attributes. path=/tmp/a\n"),
            std::string::npos)
      << line;
}

TEST(ReadableLogFormatterTest, MessageWithLineBreaksStaysOneLine) {
  LogRecord r = sampleRecord();
  r.text = "first\nsecond\r\tthird\x01\\";
  std::string line = ReadableLogFormatter::format(r);
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  EXPECT_NE(line.find("first\\nsecond\\r\\tthird\\x01\\\\"), std::string::npos) << line;
}

TEST(ReadableLogFormatterTest, TraceShowsTheCallSiteWithoutMessage) {
  LogRecord r = sampleRecord();
  r.isTrace = true;
  r.text.clear();
  std::string line = ReadableLogFormatter::format(r);
  EXPECT_NE(line.find("FileSystem.cpp:42 rollback | (trace)\n"), std::string::npos) << line;
}

}  // namespace
}  // namespace ml::logging

#include <gtest/gtest.h>

#include "platform/net/HttpHeaderLine.h"
#include "platform/net/HttpHeaders.h"

namespace ml::net {
namespace {

TEST(HttpHeaders, SetReplacesEveryFieldOfThatNameIgnoringCaseAndKeepsItsPlace) {
  HttpHeaders headers{{"Accept", "a"}, {"X-Id", "1"}, {"accept", "b"}};
  headers.set("ACCEPT", "c");
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers.fields()[0], (HttpHeaders::Field{"Accept", "c"}));
  EXPECT_EQ(headers.value("x-id"), "1");
}

TEST(HttpHeaders, AddKeepsRepeatedFieldsAndValueAnswersTheFirst) {
  HttpHeaders headers;
  headers.add("Set-Thing", "1");
  headers.add("set-thing", "2");
  EXPECT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers.value("SET-THING"), "1");
  headers.remove("Set-Thing");
  EXPECT_TRUE(headers.empty());
  EXPECT_FALSE(headers.value("Set-Thing"));
}

TEST(HttpHeaderBlockReader, FinalAnswerReplacesInterimContinueAnswer) {
  HttpHeaderBlockReader reader;
  for (std::string_view line : {"HTTP/1.1 100 Continue\r\n", "X-Interim: yes\r\n", "\r\n", "HTTP/1.1 503 Busy\r\n",
                                "Retry-After: 5\r\n", "ETag:   \"abc\"  \r\n", "\r\n"}) {
    ASSERT_TRUE(reader.addLine(line));
  }
  EXPECT_TRUE(reader.complete());
  EXPECT_EQ(reader.statusCode(), 503);
  EXPECT_FALSE(reader.headers().contains("X-Interim"));
  EXPECT_EQ(reader.headers().value("etag"), "\"abc\"");
}

TEST(HttpHeaderBlockReader, FoldedLinesContinueTheValueAndMalformedLinesAreSkipped) {
  HttpHeaderBlockReader reader;
  for (std::string_view line : {"HTTP/2 200\r\n", "X-Long: first\r\n", "   second\r\n", "no colon here\r\n",
                                ": empty name\r\n", "Bad Name: x\r\n", "\r\n"}) {
    ASSERT_TRUE(reader.addLine(line));
  }
  EXPECT_EQ(reader.statusCode(), 200);
  ASSERT_EQ(reader.headers().size(), 1u);
  EXPECT_EQ(reader.headers().value("X-Long"), "first second");
}

TEST(HttpHeaderBlockReader, StatusLinesMustCarryThreeDigits) {
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("HTTP/1.0 404 Not Found"), 404);
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("HTTP/1.1 20"), 0);
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("HTTP/1.1 2000"), 0);
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("HTTP/1.1 abc"), 0);
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("HTTP/1.1 099"), 0);
  EXPECT_EQ(HttpHeaderBlockReader::parseStatusLine("X-HTTP/1.1 200"), 0);
}

TEST(HttpHeaderBlockReader, RefusesBlocksBeyondItsCaps) {
  HttpHeaderBlockReader reader;
  ASSERT_TRUE(reader.addLine("HTTP/1.1 200 OK\r\n"));
  bool accepted = true;
  for (std::size_t i = 0; i <= HttpHeaderBlockReader::kMaxFields && accepted; ++i) accepted = reader.addLine("X: 1\r\n");
  EXPECT_FALSE(accepted);

  HttpHeaderBlockReader big;
  EXPECT_FALSE(big.addLine(std::string(HttpHeaderBlockReader::kMaxBlockBytes + 1, 'a')));
}

}  // namespace
}  // namespace ml::net

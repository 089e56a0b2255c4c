#include <gtest/gtest.h>

#include "IngestionFixture.h"
#include "beacon/core/CommonSchema/TLCommonSchemaConversion.h"
#include "beacon/core/CommonSchema/TLTicketCache.h"
#include "beacon/core/Ingestion/TLCommonCollectorIngestion.h"
#include "beacon/core/Ingestion/TLErrors.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon::test {
namespace {

std::shared_ptr<TLCommonSchemaLog> csLog(const std::string& token, const std::string& name) {
  TLLogWithProperties source;
  source.setType("event");
  source.setTimestamp(sampleDate());
  source.setDevice(validDevice());
  auto log = TLCommonSchemaConversion::commonSchemaLogForTargetToken(source, token, 1);
  log->name = name;
  return log;
}

std::shared_ptr<TLLogContainer> csBatch(const std::string& batchId,
                                        std::vector<std::shared_ptr<TLCommonSchemaLog>> logs) {
  std::vector<std::shared_ptr<TLAbstractLog>> all(logs.begin(), logs.end());
  return std::make_shared<TLLogContainer>(batchId, std::move(all));
}

class TLCommonCollectorIngestionTest : public IngestionTest {
 protected:
  std::shared_ptr<TLCommonCollectorIngestion> makeCollector(const std::string& baseUrl) {
    return TLCommonCollectorIngestion::create(baseUrl, environment(), TLReachability::reachabilityWithMonitor(monitor));
  }
  void TearDown() override { TLTicketCache::sharedInstance().clearCache(); }
};

TEST_F(TLCommonCollectorIngestionTest, PostsOneJsonLinePerLogWithItsHeaders) {
  auto ingestion = makeCollector(server.baseUrl());
  EXPECT_EQ(ingestion->maxNumberOfConnections(), 2u);
  auto container = csBatch("CC-1", {csLog("t1-a", "first.event"), csLog("t2-b", "second.event"),
                                    csLog("t1-a", "third.event")});
  ingestion->sendAsync(container, std::nullopt, completions.handler());
  ASSERT_TRUE(completions.waitFor(1));
  EXPECT_EQ(completions.at(0).callId, "CC-1");
  EXPECT_EQ(completions.at(0).statusCode, 200);

  auto request = server.requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/CommonCollector/1.0");
  EXPECT_EQ(request.header("Content-Type"), "application/x-json-stream; charset=utf-8");
  EXPECT_EQ(request.header("Client-Version"), "BCS-iOS-ObjectiveC-no-" + TLUtility::sdkVersion() + "-no");
  EXPECT_EQ(request.header("apikey"), "t1-a,t2-b");
  auto uploadTime = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now().time_since_epoch()).count();
  EXPECT_EQ(request.header("Upload-Time"), std::to_string(uploadTime));
  EXPECT_FALSE(request.header("Tickets"));
  EXPECT_FALSE(request.header("Content-Encoding"));

  std::string expected;
  for (const auto& log : container->logs) expected += *log->serializeLogWithPrettyPrinting(false) + "\n";
  EXPECT_EQ(request.body, expected);
  EXPECT_EQ(std::count(request.body.begin(), request.body.end(), '\n'), 3);
  EXPECT_EQ(request.body.back(), '\n');
}

TEST_F(TLCommonCollectorIngestionTest, TicketsTheLogsAskForGoAsCompactJson) {
  TLTicketCache::sharedInstance().setTicket("d:ticket-value", "key1");
  auto ingestion = makeCollector(server.baseUrl());
  auto log = csLog("t1-a", "with.ticket");
  log->ext->protocolExt->ticketKeys = std::vector<std::string>{"key1", "unknown"};
  auto request = ingestion->createRequest(csBatch("T", {log}), std::nullopt, std::nullopt);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->headers.value("Tickets"), "{\"key1\":\"d:ticket-value\"}");
}

TEST_F(TLCommonCollectorIngestionTest, LargeBodiesGoCompressed) {
  auto ingestion = makeCollector(server.baseUrl());
  std::vector<std::shared_ptr<TLCommonSchemaLog>> logs;
  for (int i = 0; i < 20; ++i) logs.push_back(csLog("t1-a", "event.number." + std::to_string(i)));
  auto request = ingestion->createRequest(csBatch("BIG", logs), std::nullopt, std::nullopt);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->headers.value("Content-Encoding"), "gzip");
}

TEST_F(TLCommonCollectorIngestionTest, InvalidBatchFailsAtOnceWithCodeOne) {
  auto ingestion = makeCollector(server.baseUrl());
  ingestion->sendAsync(csBatch("NAMED", {csLog("t1-a", "x")}), std::nullopt, completions.handler());
  auto unnamed = csLog("t1-a", "x");
  unnamed->name.reset();
  ingestion->sendAsync(csBatch("INVALID", {unnamed}), std::nullopt, completions.handler());
  ingestion->sendAsync(nullptr, std::nullopt, completions.handler());
  ASSERT_TRUE(completions.waitFor(3));
  std::size_t codeOne = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    auto completion = completions.at(i);
    if (completion.error && completion.error->code == kTLLogInvalidContainerErrorCode) ++codeOne;
  }
  EXPECT_EQ(codeOne, 2u);
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(TLCommonCollectorIngestionTest, LogOutputMasksTargetTokensAndTickets) {
  TLTicketCache::sharedInstance().setTicket("d:secret-ticket", "key1");
  auto ingestion = makeCollector(server.baseUrl());
  auto ticketed = csLog("abcdefgh-0123456789secret", "masked.event");
  ticketed->ext->protocolExt->ticketKeys = std::vector<std::string>{"key1"};
  TLLogger::setCurrentLogLevel(TLLogLevel::verbose);
  ASSERT_TRUE(ingestion->createRequest(csBatch("M", {ticketed}), std::nullopt, std::nullopt));
  EXPECT_EQ(log.count(TLLogLevel::verbose, "apikey = " + std::string(17, '*') + "89secret"), 1u);
  EXPECT_EQ(log.count(TLLogLevel::verbose, "Tickets = {\"key1\":\"d:***\"}"), 1u);
  for (const auto& line : log.lines()) EXPECT_EQ(line.message.find("secret-ticket"), std::string::npos);
}

TEST(TLCommonCollectorMasking, TokensKeepTheirLastEightCharactersEach) {
  EXPECT_EQ(TLCommonCollectorIngestion::obfuscateTargetTokens("abcd12345678,short"), "****12345678,*****");
  EXPECT_EQ(TLCommonCollectorIngestion::obfuscateTargetTokens(""), "");
}

TEST(TLCommonCollectorMasking, TicketsLoseEverythingAfterEachColon) {
  EXPECT_EQ(TLCommonCollectorIngestion::obfuscateTickets("{\"k\":\"d:abc\",\"x:y\":\"p:q\"}"),
            "{\"k\":\"d:***\",\"x:***\":\"p:***\"}");
  EXPECT_EQ(TLCommonCollectorIngestion::obfuscateTickets("a:b"), "a:***");
  EXPECT_EQ(TLCommonCollectorIngestion::obfuscateTickets("trailing:"), "trailing:");
}

}  // namespace
}  // namespace ml::beacon::test

// Storing, listing, processing and sending crash reports, against a fake service environment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ReportBuilder.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Internals/TLCrashReportProcessor.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "platform/foundation/Dates.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;
constexpr const char* kCrashes = "crashes";

struct Enqueued {
  std::shared_ptr<TLAbstractLog> log;
  std::uint32_t flags;
};

class TLCrashReportProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override { TLWrapperExceptionManager::resetForTesting(); }

  TLCrashReportProcessor::Environment environment() {
    TLCrashReportProcessor::Environment env;
    env.isEnabled = [this] { return enabled; };
    // Answers as the channel does, at once: refused or not, then finished.
    env.enqueue = [this](std::shared_ptr<TLAbstractLog> log, std::uint32_t flags) {
      enqueued.push_back({log, flags});
      if (!channelAnswers) return;
      if (refuse) channelAnswers->didFailEnqueueingLog(log.get());
      channelAnswers->didCompleteEnqueueingLog(log.get());
    };
    env.sessionIdAt = [](TLCrashReportProcessor::Date) { return std::optional<std::string>("crash-session"); };
    env.userIdAt = [](TLCrashReportProcessor::Date) { return std::optional<std::string>(); };
    env.clearContextHistory = [this] { ++historyClears; };
    env.loadPendingCrashReport = [this] { return pending; };
    env.purgePendingCrashReport = [this] {
      ++purges;
      return purgeWorks;
    };
    env.loadSentIncidents = [this] { return storedSent; };
    env.storeSentIncidents = [this](const std::vector<std::string>& incidents) { storedSent = incidents; };
    env.shouldAlwaysSend = [this] { return alwaysSend; };
    env.setAlwaysSend = [this] { alwaysSend = true; };
    env.now = [] { return foundation::Dates::fromTimeIntervalSinceReferenceDate(1000.4); };
    return env;
  }

  // Stores a report under `name` and returns its path.
  fs::path store(const std::string& name, std::vector<uint8_t> pid = {}) {
    auto spec = reportSpec();
    if (!pid.empty()) spec.uuid = pid;
    auto bytes = test::reportBytes(spec);
    return *TLUtilityFile::createFileAtPathComponent(std::string(kCrashes) + "/" + name,
                                                     std::span<const uint8_t>(bytes), true, true);
  }
  static test::ReportSpec reportSpec() {
    test::ReportSpec spec;
    spec.images = {test::ImageSpec{0x400000, 0x1000, "/opt/app", {1}}};
    spec.threads = {test::ThreadSpec{0, true, {test::FrameSpec{0x400010}}, {{"rip", 0x400010}}}};
    return spec;
  }
  static std::vector<uint8_t> uuid(uint8_t last) { return {1, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, last}; }

  ml::test::XdgSandbox sandbox_;
  bool enabled = true;
  bool alwaysSend = false;
  int historyClears = 0;
  int purges = 0;
  bool purgeWorks = true;
  std::vector<std::string> storedSent;
  std::optional<std::vector<uint8_t>> pending;
  std::vector<Enqueued> enqueued;
  TLCrashReportProcessor* channelAnswers = nullptr;
  bool refuse = false;
};

TEST_F(TLCrashReportProcessorTest, PendingReportIsStoredUnderReferenceDateSecondsAndPurged) {
  pending = test::reportBytes(reportSpec());
  TLCrashReportProcessor processor(environment(), kCrashes);
  auto report = processor.handleLatestCrashReport();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->signal(), "SIGSEGV");
  EXPECT_EQ(purges, 1);
  EXPECT_EQ(TLUtilityFile::loadDataForPathComponent("crashes/1000"), pending);
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/TLCrashes.analyzer"));
}

TEST_F(TLCrashReportProcessorTest, MarkerLeftByADeadAttemptPurgesWithoutDecoding) {
  pending = test::reportBytes(reportSpec());
  TLUtilityFile::createFileAtPathComponent("crashes/TLCrashes.analyzer", std::nullopt, false, true);
  TLCrashReportProcessor processor(environment(), kCrashes);
  EXPECT_FALSE(processor.handleLatestCrashReport());
  EXPECT_EQ(purges, 1);
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/1000"));
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/TLCrashes.analyzer"));
}

TEST_F(TLCrashReportProcessorTest, UndecodablePendingReportIsPurgedAndNotStored) {
  pending = std::vector<uint8_t>{'t', 'l', 'c', 'r', 'a', 's', 'h', 1, 0xff, 0xff};
  TLCrashReportProcessor processor(environment(), kCrashes);
  EXPECT_FALSE(processor.handleLatestCrashReport());
  EXPECT_EQ(purges, 1);
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/1000"));
}

TEST_F(TLCrashReportProcessorTest, ListingSkipsSideFilesEmptyFilesAndFolders) {
  store("100");
  store("x.plist");
  TLUtilityFile::createFileAtPathComponent("crashes/200", std::nullopt, false, true);
  TLUtilityFile::createDirectoryForPathComponent("crashes/folder");
  TLCrashReportProcessor processor(environment(), kCrashes);
  auto files = processor.persistedCrashReports();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename(), "100");
  TLUtilityFile::deleteItemForPathComponent(kCrashes);
  EXPECT_TRUE(processor.persistedCrashReports().empty());
}

TEST_F(TLCrashReportProcessorTest, ProcessingSendsEachCrashCriticalAndDeletesFilesOnlyOnceTheChannelStoredThem) {
  store("100", uuid(1));
  store("101", uuid(2));
  std::ofstream(*TLUtilityFile::fullURLForPathComponent("crashes/102")) << "garbage";
  TLCrashReportProcessor processor(environment(), kCrashes);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  ASSERT_EQ(enqueued.size(), 2u);
  for (const auto& item : enqueued) {
    EXPECT_EQ(item.flags, 2u);
    EXPECT_EQ(item.log->sid(), "crash-session");
    EXPECT_TRUE(std::dynamic_pointer_cast<TLAppleErrorLog>(item.log));
  }
  // The undecodable file is warned about once and goes; the others wait for the channel.
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/102"));
  EXPECT_TRUE(TLUtilityFile::fileExistsForPathComponent("crashes/100"));
  EXPECT_EQ(processor.logsAwaitingChannel(), 2u);
  EXPECT_EQ(historyClears, 1);

  processor.didFailEnqueueingLog(enqueued[0].log.get());
  processor.didCompleteEnqueueingLog(enqueued[0].log.get());
  processor.didCompleteEnqueueingLog(enqueued[1].log.get());
  EXPECT_EQ(processor.logsAwaitingChannel(), 0u);
  const bool firstKept = TLUtilityFile::fileExistsForPathComponent("crashes/100");
  const bool secondKept = TLUtilityFile::fileExistsForPathComponent("crashes/101");
  EXPECT_TRUE(firstKept != secondKept) << "exactly the refused crash stays";
  ASSERT_EQ(processor.crashFiles().size(), 1u);

  // The kept report is sent again by the next run, and goes once the channel stores it.
  enqueued.clear();
  channelAnswers = &processor;
  processor.processCrashReports();
  ASSERT_EQ(enqueued.size(), 1u);
  EXPECT_TRUE(processor.crashFiles().empty());
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent(firstKept ? "crashes/100" : "crashes/101"));
}

TEST_F(TLCrashReportProcessorTest, DelegateRejectionDeletesOnlyThatReport) {
  store("100", uuid(1));
  store("101", uuid(2));
  auto env = environment();
  env.shouldProcessErrorReport = [](const TLErrorReport& report) {
    return report.incidentIdentifier() != "01020304-0506-4708-890A-0B0C0D0E0F01";
  };
  TLCrashReportProcessor processor(env, kCrashes);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  EXPECT_EQ(enqueued.size(), 1u);
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/100"));
}

TEST_F(TLCrashReportProcessorTest, DisabledServiceDiscardsEverything) {
  store("100");
  enabled = false;
  TLCrashReportProcessor processor(environment(), kCrashes);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  EXPECT_TRUE(enqueued.empty());
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent(kCrashes));
}

TEST_F(TLCrashReportProcessorTest, PromptThenDontSendDropsFiles) {
  store("100");
  auto env = environment();
  int prompts = 0;
  env.userConfirmationHandler = [&](const TLCrashReportProcessor::Reports& reports) {
    ++prompts;
    EXPECT_EQ(reports.size(), 1u);
    return true;
  };
  TLCrashReportProcessor processor(env, kCrashes);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  EXPECT_EQ(prompts, 1);
  EXPECT_TRUE(enqueued.empty());
  EXPECT_TRUE(TLUtilityFile::fileExistsForPathComponent("crashes/100"));
  processor.notifyWithUserConfirmation(TLUserConfirmation::dontSend);
  EXPECT_TRUE(enqueued.empty());
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/100"));
}

TEST_F(TLCrashReportProcessorTest, AlwaysSendIsStoredAndSkipsThePromptLater) {
  store("100", uuid(1));
  auto env = environment();
  int prompts = 0;
  env.userConfirmationHandler = [&](const TLCrashReportProcessor::Reports&) {
    ++prompts;
    return true;
  };
  TLCrashReportProcessor processor(env, kCrashes);
  channelAnswers = &processor;
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  processor.notifyWithUserConfirmation(TLUserConfirmation::always);
  EXPECT_TRUE(alwaysSend);
  EXPECT_EQ(enqueued.size(), 1u);
  store("101", uuid(2));
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(enqueued.size(), 2u);
}

TEST_F(TLCrashReportProcessorTest, NotifyBeforeAnyRunWithoutHandlerDoesNothing) {
  TLCrashReportProcessor processor(environment(), kCrashes);
  processor.notifyWithUserConfirmation(TLUserConfirmation::send);
  EXPECT_EQ(historyClears, 0);
}

TEST_F(TLCrashReportProcessorTest, AttachmentsGetTheIncidentIdAndInvalidOnesAreSkipped) {
  store("100", uuid(1));
  auto env = environment();
  env.attachmentsForErrorReport = [](const TLErrorReport&) {
    return std::optional<TLCrashReportProcessor::Attachments>{TLCrashReportProcessor::Attachments{TLErrorAttachmentLog::attachmentWithText("a", "a.txt"),
                                               TLErrorAttachmentLog::attachmentWithText("", "empty.txt"),
                                               TLErrorAttachmentLog::attachmentWithText("b", "b.txt")}};
  };
  TLCrashReportProcessor processor(env, kCrashes);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  ASSERT_EQ(enqueued.size(), 3u);
  EXPECT_EQ(enqueued[0].flags, 2u);
  for (size_t i = 1; i < 3; ++i) {
    auto attachment = std::dynamic_pointer_cast<TLErrorAttachmentLog>(enqueued[i].log);
    ASSERT_TRUE(attachment);
    EXPECT_EQ(enqueued[i].flags, 1u);
    EXPECT_EQ(attachment->errorId, "01020304-0506-4708-890A-0B0C0D0E0F01");
  }
}

TEST_F(TLCrashReportProcessorTest, WrapperFilterKeepsOnlyNamedReports) {
  store("100", uuid(1));
  store("101", uuid(2));
  TLCrashReportProcessor processor(environment(), kCrashes);
  processor.setAutomaticProcessingEnabled(false);
  processor.setCrashFiles(processor.persistedCrashReports());
  processor.processCrashReports();
  EXPECT_TRUE(enqueued.empty());
  ASSERT_EQ(processor.unprocessedReports()->size(), 2u);
  processor.setAutomaticProcessingEnabled(true);
  processor.sendCrashReportsOrAwaitUserConfirmationForFilteredIds({"01020304-0506-4708-890A-0B0C0D0E0F02"});
  ASSERT_EQ(enqueued.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<TLAppleErrorLog>(enqueued[0].log)->errorId,
            "01020304-0506-4708-890A-0B0C0D0E0F02");
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/100"));
}

// The reporter cannot remove its pending report: the crash is stored and sent in the first
// launch, remembered, and not stored or sent again by the next one.
TEST_F(TLCrashReportProcessorTest, PendingReportTheReporterCannotPurgeIsSentOnce) {
  pending = test::reportBytes(reportSpec());
  purgeWorks = false;
  {
    TLCrashReportProcessor first(environment(), kCrashes);
    channelAnswers = &first;
    ASSERT_TRUE(first.handleLatestCrashReport());
    first.setCrashFiles(first.persistedCrashReports());
    first.processCrashReports();
    channelAnswers = nullptr;
  }
  ASSERT_EQ(enqueued.size(), 1u);
  EXPECT_EQ(storedSent.size(), 1u);
  TLCrashReportProcessor next(environment(), kCrashes);
  EXPECT_TRUE(next.handleLatestCrashReport()) << "still the last session's report";
  EXPECT_TRUE(next.persistedCrashReports().empty()) << "not stored again";
  EXPECT_EQ(enqueued.size(), 1u);
}

}  // namespace
}  // namespace ml::beacon

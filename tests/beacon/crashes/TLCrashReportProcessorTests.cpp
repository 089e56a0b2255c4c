// Storing, listing, processing and sending crash reports, against a fake service environment.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "ReportBuilder.h"
#include "beacon/core/Storage/TLDBFileLock.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Internals/TLCrashReportProcessor.h"
#include "beacon/crashes/Internals/TLCrashesFolderClaim.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "platform/foundation/Dates.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

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
    // The reporter's pending reports, one per path, oldest first.
    env.pendingCrashReportPaths = [this] {
      std::vector<std::string> paths;
      for (const auto& [path, bytes] : pending) paths.push_back(path);
      return paths;
    };
    env.loadPendingCrashReport = [this](const std::string& path) -> std::optional<std::vector<uint8_t>> {
      for (const auto& [at, bytes] : pending) {
        if (at == path) return bytes;
      }
      return std::nullopt;
    };
    env.purgePendingCrashReport = [this](const std::string& path) {
      ++purges;
      if (purgeWorks) std::erase_if(pending, [&](const auto& entry) { return entry.first == path; });
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
  std::vector<std::pair<std::string, std::vector<uint8_t>>> pending;
  std::vector<Enqueued> enqueued;
  TLCrashReportProcessor* channelAnswers = nullptr;
  bool refuse = false;
};

// Each pending report is stored under its incident, owner-only, and purged once stored; an
// undecodable one is purged unstored; one that cannot be stored stays pending and is stored by
// the next launch; a second store of the same report meets its own copy and takes nothing over.
TEST_F(TLCrashReportProcessorTest, EveryPendingReportIsStoredUnderANameOfItsOwnAndPurgedOnlyOnceStored) {
  auto first = reportSpec();
  first.uuid = uuid(1);
  auto second = reportSpec();
  second.uuid = uuid(2);
  pending = {{"/pending/a", test::reportBytes(first)},
             {"/pending/b", {'t', 'l', 'c', 'r', 'a', 's', 'h', 1, 0xff, 0xff}},
             {"/pending/c", test::reportBytes(second)}};
  const auto firstBytes = pending[0].second;
  const auto secondBytes = pending[2].second;

  // The crashes folder cannot be made: a file stands there and every name to move it aside to is
  // taken, so nothing is stored (as on a full disk) and both decodable reports stay pending.
  const fs::path client = TLUtilityFile::clientDirectoryURL();
  fs::remove_all(client / kCrashes);
  std::ofstream(client / kCrashes) << "in the way";
  fs::create_directory(client / "crashes.moved-aside");
  for (int i = 2; i <= 100; ++i) fs::create_directory(client / ("crashes.moved-aside-" + std::to_string(i)));
  {
    TLCrashReportProcessor processor(environment(), kCrashes);
    auto report = processor.handleLatestCrashReport();
    ASSERT_TRUE(report) << "the newest report that decoded, stored or not";
    EXPECT_EQ(report->incidentIdentifier(), "01020304-0506-4708-890A-0B0C0D0E0F02");
  }
  ASSERT_EQ(pending.size(), 2u) << "only the undecodable report went";
  EXPECT_EQ(pending[0].first, "/pending/a");
  EXPECT_EQ(pending[1].first, "/pending/c");

  // With the way clear (an obstacle that can be moved aside), the next launch stores both.
  for (int i = 2; i <= 100; ++i) fs::remove(client / ("crashes.moved-aside-" + std::to_string(i)));
  fs::remove(client / "crashes.moved-aside");
  TLCrashReportProcessor processor(environment(), kCrashes);
  ASSERT_TRUE(processor.handleLatestCrashReport());
  EXPECT_TRUE(pending.empty());
  EXPECT_TRUE(fs::is_regular_file(client / "crashes.moved-aside")) << "kept, not deleted";
  const std::string firstName = "crashes/01020304-0506-4708-890A-0B0C0D0E0F01.tlcrash";
  const std::string secondName = "crashes/01020304-0506-4708-890A-0B0C0D0E0F02.tlcrash";
  EXPECT_EQ(TLUtilityFile::loadDataForPathComponent(firstName), firstBytes);
  EXPECT_EQ(TLUtilityFile::loadDataForPathComponent(secondName), secondBytes);
  for (const auto& name : {firstName, secondName}) {
    const auto mode = fs::status(*TLUtilityFile::fullURLForPathComponent(name)).permissions();
    EXPECT_EQ(mode & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write) << name;
  }
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/TLCrashes.analyzer"));
  EXPECT_EQ(processor.persistedCrashReports().size(), 2u);

  // The same report pending again (another launch on the folder stored it first) meets its own
  // copy; a different report whose incident is taken by other bytes gets a fresh name.
  auto clash = reportSpec();
  clash.uuid = uuid(1);
  clash.threads[0].frames.push_back(test::FrameSpec{0x400020});
  pending = {{"/pending/a", firstBytes}, {"/pending/d", test::reportBytes(clash)}};
  TLCrashReportProcessor again(environment(), kCrashes);
  again.handleLatestCrashReport();
  EXPECT_TRUE(pending.empty());
  EXPECT_EQ(TLUtilityFile::loadDataForPathComponent(firstName), firstBytes) << "never taken over";
  EXPECT_EQ(again.persistedCrashReports().size(), 3u);
}

// A marker names the report whose analysis it guards: left by a process that died there, it
// purges that report alone at the next launch; a stale one (its report gone, or an older
// version's empty marker) purges nothing.
TEST_F(TLCrashReportProcessorTest, AMarkerPurgesOnlyTheReportItNames) {
  const ml::test::TempDir reporterFolder;
  const fs::path folder = reporterFolder.path();
  auto writePending = [&](const std::string& name, std::uint8_t tag) {
    auto spec = reportSpec();
    spec.uuid = uuid(tag);
    auto bytes = test::reportBytes(spec);
    std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                         static_cast<std::streamsize>(bytes.size()));
    pending.emplace_back((folder / name).string(), bytes);
  };
  auto writeMarker = [](const std::string& text) {
    TLUtilityFile::createFileAtPathComponent(
        "crashes/TLCrashes.analyzer",
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), false, true);
  };
  // The marker a launch leaves when it dies while analysing the first pending report.
  auto markerOfADeadAnalysis = [&] {
    TLCrashReportProcessor::Environment env = environment();
    std::string marker;
    env.loadPendingCrashReport = [&](const std::string&) -> std::optional<std::vector<uint8_t>> {
      auto data = TLUtilityFile::loadDataForPathComponent("crashes/TLCrashes.analyzer");
      if (data && marker.empty()) marker.assign(data->begin(), data->end());
      return std::nullopt;
    };
    TLCrashReportProcessor(std::move(env), kCrashes).handleLatestCrashReport();
    return marker;
  };
  auto storedNames = [&] {
    std::set<std::string> names;
    for (const auto& file : TLCrashReportProcessor(environment(), kCrashes).persistedCrashReports()) {
      names.insert(file.filename().string());
    }
    return names;
  };
  auto incidentFile = [](std::uint8_t tag) {
    return "01020304-0506-4708-890A-0B0C0D0E0F0" + std::to_string(tag) + ".tlcrash";
  };

  // An older version's marker (empty), then one naming a report that is gone: nothing purged.
  writePending("live_report.tlcrash", 1);
  writeMarker("");
  TLCrashReportProcessor(environment(), kCrashes).handleLatestCrashReport();
  writePending("live_report.2.tlcrash", 2);
  writeMarker((folder / "live_report.1.tlcrash").string() + "\n");
  TLCrashReportProcessor(environment(), kCrashes).handleLatestCrashReport();
  EXPECT_EQ(storedNames(), (std::set<std::string>{incidentFile(1), incidentFile(2)}));
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crashes/TLCrashes.analyzer"));

  // A marker left for a report that a newer one then replaced under the same name (a crash loop
  // of an older reporter) purges nothing.
  pending.clear();
  writePending("live_report.tlcrash", 3);
  const std::string stale = markerOfADeadAnalysis();
  EXPECT_EQ(stale.substr(0, stale.find('\n')), (folder / "live_report.tlcrash").string());
  fs::remove(folder / "live_report.tlcrash");
  pending.clear();
  writePending("live_report.tlcrash", 4);
  writeMarker(stale);
  TLCrashReportProcessor(environment(), kCrashes).handleLatestCrashReport();
  EXPECT_TRUE(pending.empty());
  EXPECT_TRUE(storedNames().contains(incidentFile(4)));

  // The marker of a report still pending: that report is purged unread, the other one stored.
  writePending("live_report.5.tlcrash", 5);
  writePending("live_report.6.tlcrash", 6);
  writeMarker(markerOfADeadAnalysis());
  purges = 0;
  TLCrashReportProcessor(environment(), kCrashes).handleLatestCrashReport();
  EXPECT_EQ(purges, 2) << "the named report purged unread, the other once stored";
  EXPECT_TRUE(pending.empty());
  const auto names = storedNames();
  EXPECT_FALSE(names.contains(incidentFile(5)));
  EXPECT_TRUE(names.contains(incidentFile(6)));
}

TEST_F(TLCrashReportProcessorTest, ListingSkipsSideFilesEmptyFilesAndFolders) {
  store("100");
  store("x.plist");
  store("CACHEDIR.TAG.tmp-Ab3dE9");  // an interrupted write's, just now: maybe still being written
  store("TLCrashes.analyzer.tmp-Zz9yX8");
  const fs::path leftover = *TLUtilityFile::fullURLForPathComponent("crashes/TLCrashes.analyzer.tmp-Zz9yX8");
  fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
  store("notes.txt");
  TLUtilityFile::createFileAtPathComponent("crashes/200", std::nullopt, false, true);
  TLUtilityFile::createDirectoryForPathComponent("crashes/folder");
  TLCrashReportProcessor processor(environment(), kCrashes);
  auto files = processor.persistedCrashReports();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename(), "100");
  EXPECT_FALSE(fs::exists(leftover)) << "an old leftover is cleaned up";
  EXPECT_TRUE(TLUtilityFile::fileExistsForPathComponent("crashes/CACHEDIR.TAG.tmp-Ab3dE9"));
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
  pending = {{"/pending/a", test::reportBytes(reportSpec())}};
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

// The crashes folder's claim and the store's sending lock belong to the process that took them,
// not to a child it forks without exec: the child neither holds them (it cannot take them from its
// parent either) nor keeps them from the next process once the parent has let go (closed, as
// when it ends), however long it lives.
TEST(ForkedChildLocks, AChildForkedWithoutExecNeitherHoldsNorKeepsTheClaimOrTheSendingLock) {
  const ml::test::TempDir folder;
  const std::filesystem::path claimFile = folder.path() / "crashes.lock", store = folder.path() / "Logs.sqlite";
  const std::filesystem::path done = folder.path() / "done";
  std::optional<TLCrashesFolderClaim> claim(std::in_place);
  std::optional<TLDBFileLock> sending(std::in_place, store);
  ASSERT_TRUE(claim->tryClaim(claimFile));
  ASSERT_TRUE(sending->tryHoldSending());
  ASSERT_TRUE(sending->holdsSending());

  ml::test::ChildProcess child([&] {
    const bool claimed = claim->tryClaim(claimFile);
    const bool sends = sending->tryHoldSending();
    std::printf("claimed %d sends %d\n", claimed ? 1 : 0, sends ? 1 : 0);
    std::fflush(stdout);
    ml::test::waitUntil([&] { return std::filesystem::exists(done); });
  });
  ASSERT_TRUE(ml::test::waitUntil([&] { return child.output().find("sends") != std::string::npos; })) << child.output();
  EXPECT_NE(child.output().find("claimed 0 sends 0"), std::string::npos) << child.output();

  claim.reset();
  sending.reset();
  TLCrashesFolderClaim nextClaim;
  TLDBFileLock nextSending(store);
  EXPECT_TRUE(nextClaim.tryClaim(claimFile)) << "the child still holds the claim";
  EXPECT_TRUE(nextSending.tryHoldSending()) << "the child still holds the sending lock";
  EXPECT_TRUE(nextSending.holdsSending());
  std::ofstream(done) << "done";
  const auto status = child.wait();
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

}  // namespace
}  // namespace ml::beacon

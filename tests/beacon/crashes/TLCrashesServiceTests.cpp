// The crashes service in one process, over the client's channel group in virtual time and a fake
// ingestion: its start with the client, the previous run's crash and memory warning, the delayed
// processing and sending of stored crashes with the host's delegate, handled errors, the crash
// log buffer on the channel, and disabling with everything it deletes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "ReportBuilder.h"
#include "ServiceFixture.h"
#include "beacon/core/TLLogWithProperties.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Internals/TLCrashesCXXTerminatePath.h"
#include "beacon/crashes/Internals/TLCrashesLogBuffer.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLHandledErrorLog.h"
#include "beacon/crashes/TLCrashes.h"
#include "beacon/crashes/Util/TLCrashesUtil.h"
#include "crashreporter/capture/TLCrashReporter.h"

namespace ml::beacon::test {
namespace {

namespace fs = std::filesystem;

// Installs no signal handler or exception server in the test process.
constexpr std::uint64_t kNoCrashHandlers = 99;

class RecordingCrashesDelegate : public TLCrashesDelegate {
 public:
  void crashesWillSendErrorReport(TLCrashes&, const TLErrorReport& report) override {
    events.push_back("willSend " + report.incidentIdentifier().value_or("?"));
  }
  void crashesDidSucceedSendingErrorReport(TLCrashes&, const TLErrorReport& report) override {
    events.push_back("didSucceed " + report.incidentIdentifier().value_or("?"));
  }
  std::vector<std::string> events;
};

class TLCrashesServiceTest : public ServiceTest {
 protected:
  TLCrashesServiceTest() {
    TLCrashesUtil::resetDirectory();
    TLCrashes::Environment environment;
    environment.settings = &TLUserDefaults::shared();
    environment.clock = &clock;
    environment.processingQueue = processing.get();
    environment.isDebuggerAttached = [] { return false; };
    environment.makeReporter = [](std::uint64_t, bool registerUncaughtExceptionHandler) {
      return std::make_unique<crash::TLCrashReporter>(crash::TLCrashReporterConfig(kNoCrashHandlers, 0, registerUncaughtExceptionHandler));
    };
    environment.watchMemoryPressure = [this](std::function<void()> onPressure) {
      pressure = std::move(onPressure);
      return std::unique_ptr<TLMemoryPressureSource>();
    };
    service = std::make_shared<TLCrashes>(std::move(environment));
    TLCrashes::resetSharedInstance(service);
  }
  ~TLCrashesServiceTest() override {
    TLCrashes::resetSharedInstance();
    // The process goes on with other tests: no crash path of this service stays behind.
    TLCrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(uncaught_cxx_exception_handler);
    crash::tl_set_uncaught_exception_handler(nullptr);
    processing->drain();
  }

  static fs::path pendingReportPath() {
    crash::TLCrashReporter reporter(crash::TLCrashReporterConfig(kNoCrashHandlers, 0));
    reporter.populateCrashReportDirectory();
    return reporter.crashReportPath();
  }
  static void writePendingReport(std::vector<std::uint8_t> uuid) {
    ReportSpec spec;
    spec.uuid = std::move(uuid);
    spec.images = {ImageSpec{0x400000, 0x1000, "/opt/marrowlane", {1}}};
    spec.threads = {ThreadSpec{0, true, {FrameSpec{0x400010}}, {{"rip", 0x400010}}}};
    auto bytes = reportBytes(spec);
    std::ofstream(pendingReportPath(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                               static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<fs::path> storedCrashFiles() { return service->crashFiles(); }
  void runFor(std::chrono::milliseconds time) {
    queue->drain();
    clock.advance(time);
    processing->drain();
    queue->drain();
  }
  static TLServiceClass crashesClass() { return TLServiceClass::of<TLCrashes>(); }
  // A decodable report in the crashes folder, its incident told apart by `tag`.
  static void storeReport(std::uint8_t tag) {
    ReportSpec spec;
    spec.uuid = {tag, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 0x20};
    spec.images = {ImageSpec{0x400000, 0x1000, "/opt/marrowlane", {1}}};
    spec.threads = {ThreadSpec{0, true, {FrameSpec{0x400010}}, {{"rip", 0x400010}}}};
    auto bytes = reportBytes(spec);
    TLUtilityFile::createFileAtPathComponent("crashes/" + std::to_string(800000000 + tag),
                                             std::span<const std::uint8_t>(bytes), true, true);
  }

  std::shared_ptr<ManualQueue> processing = std::make_shared<ManualQueue>();
  std::function<void()> pressure;
  std::shared_ptr<TLCrashes> service;
};

TEST_F(TLCrashesServiceTest, StartsFirstProcessesTheLastCrashOneSecondLaterAndDeletesEverythingWhenDisabled) {
  const std::vector<std::uint8_t> uuid{1, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 16};
  const std::string incident = "01020304-0506-4708-890A-0B0C0D0E0F10";
  writePendingReport(uuid);
  TLUserDefaults::shared().setObject(foundation::PlistValue(true), TLCrashes::kMemoryWarningKey);
  auto delegate = std::make_shared<RecordingCrashesDelegate>();
  TLCrashes::setDelegate(delegate);

  TLBeacon::start(kSecret, {FakeService::classOf(analytics), crashesClass()});
  ASSERT_EQ(client->services().size(), 2u);
  EXPECT_EQ(client->services()[0], service) << "priority 999 starts first";
  auto unit = group->channelUnitForGroupId("Crashes");
  ASSERT_TRUE(unit);
  EXPECT_EQ(unit->configuration(), TLChannelUnitConfiguration("Crashes", 2, 1, 1, 3));
  ASSERT_TRUE(group->channelUnitForGroupId("CrashesBuffer"));

  // The previous run: its crash is stored under the service and its report kept, its memory
  // warning read once.
  EXPECT_TRUE(TLCrashes::hasCrashedInLastSession());
  ASSERT_TRUE(TLCrashes::lastSessionCrashReport());
  EXPECT_EQ(TLCrashes::lastSessionCrashReport()->incidentIdentifier(), incident);
  EXPECT_FALSE(fs::exists(pendingReportPath()));
  EXPECT_EQ(storedCrashFiles().size(), 1u);
  EXPECT_TRUE(TLCrashes::hasReceivedMemoryWarningInLastSession());
  EXPECT_FALSE(TLUserDefaults::shared().objectForKey(TLCrashes::kMemoryWarningKey));

  // Nothing happens before one second; then the crash goes out critical, its file once stored.
  runFor(std::chrono::milliseconds(900));
  EXPECT_EQ(storedCrashFiles().size(), 1u);
  runFor(std::chrono::milliseconds(100));
  EXPECT_TRUE(storedCrashFiles().empty());
  EXPECT_EQ(service->unprocessedCrashReports().size(), 0u);
  runFor(std::chrono::seconds(1));
  ASSERT_EQ(ingestion->calls.size(), 1u);
  ASSERT_EQ(ingestion->calls[0].container->logs.size(), 1u);
  auto sent = std::dynamic_pointer_cast<TLAppleErrorLog>(ingestion->calls[0].container->logs[0]);
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->errorId, incident);
  ingestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"willSend " + incident, "didSucceed " + incident}));

  // Memory pressure in this run is remembered for the next one.
  ASSERT_TRUE(pressure);
  pressure();
  EXPECT_TRUE(settingsBoolean(TLCrashes::kMemoryWarningKey));

  // Handled errors go out normal, with their checked properties; other logs pass through the
  // crash log buffer while the channel has them.
  auto exception = std::make_shared<TLException>();
  exception->type = "Disk full";
  exception->frames = {std::make_shared<TLStackFrame>()};
  TLCrashes::trackModelException(exception, TLStringProperties{{"path", "/x"}, {"", "dropped"}});
  auto event = makeLog("buffered");
  client->channelUnit()->enqueueItem(event, 1);
  EXPECT_FALSE(TLCrashesLogBuffer::shared().slot(0).buffer.empty()) << "held until the channel is done with it";
  queue->drain();
  EXPECT_TRUE(TLCrashesLogBuffer::shared().slot(0).buffer.empty());
  auto handled = storedLogs("Crashes");
  ASSERT_EQ(handled.size(), 1u);
  auto handledLog = std::dynamic_pointer_cast<TLHandledErrorLog>(handled[0]);
  ASSERT_TRUE(handledLog);
  EXPECT_EQ(handledLog->exception->type, "Disk full");
  EXPECT_EQ(handledLog->properties, (std::map<std::string, std::string>{{"path", "/x"}}));

  // Disabling deletes the stored crashes, the buffer's files and the memory warning; a crash
  // written while disabled is purged at the next enabling, never reported.
  const fs::path crashesFolder = *TLUtilityFile::fullURLForPathComponent("crashes");
  fs::create_directories(crashesFolder);
  std::ofstream(crashesFolder / "700000000") << "left from another run";
  const fs::path bufferFile = TLCrashesLogBuffer::shared().bufferPath(3);
  std::ofstream(bufferFile) << "a log";
  service->classSetEnabled(false);
  queue->drain();
  EXPECT_FALSE(fs::exists(crashesFolder));
  EXPECT_EQ(fs::file_size(bufferFile), 0u);
  EXPECT_FALSE(TLUserDefaults::shared().objectForKey(TLCrashes::kMemoryWarningKey));
  EXPECT_TRUE(storedLogs("Crashes").empty());

  writePendingReport(uuid);
  service->classSetEnabled(true);
  EXPECT_FALSE(fs::exists(pendingReportPath()));
  EXPECT_TRUE(storedCrashFiles().empty());
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Already configured TLCrashReporter."), 1u);
}

TEST_F(TLCrashesServiceTest, ConfirmationHandlerHoldsReportsUntilTheAnswerAndDontSendDropsThem) {
  writePendingReport({9, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 16});
  int prompts = 0;
  TLCrashes::setUserConfirmationHandler([&](const std::vector<std::shared_ptr<TLErrorReport>>& reports) {
    ++prompts;
    EXPECT_EQ(reports.size(), 1u);
    return true;
  });
  TLBeacon::start(kSecret, {crashesClass()});
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(service->unprocessedCrashReports().size(), 1u);
  EXPECT_EQ(storedCrashFiles().size(), 1u);
  TLCrashes::notifyWithUserConfirmation(TLUserConfirmation::dontSend);
  EXPECT_TRUE(storedCrashFiles().empty());
  EXPECT_TRUE(service->unprocessedCrashReports().empty());
  runFor(std::chrono::seconds(2));
  std::size_t crashLogsSent = 0;
  for (const auto& call : ingestion->calls) {
    for (const auto& log : call.container->logs) crashLogsSent += dynamic_cast<const TLAppleErrorLog*>(log.get()) ? 1 : 0;
  }
  EXPECT_EQ(crashLogsSent, 0u);
}

// A confirmation handler that answers from another thread and waits for it, and the client
// switched over and over while processing runs: nothing blocks (the waits are bounded), and no
// crash is handed to the channel twice.
TEST_F(TLCrashesServiceTest, AnswerFromAnotherThreadAndClientSwitchedDuringProcessingNeverBlock) {
  writePendingReport({7, 2, 3, 4, 5, 6, 0x47, 8, 0x89, 10, 11, 12, 13, 14, 15, 16});
  std::atomic<int> prompts = 0;
  TLCrashes::setUserConfirmationHandler([&](const std::vector<std::shared_ptr<TLErrorReport>>&) {
    ++prompts;
    std::thread answer([] { TLCrashes::notifyWithUserConfirmation(TLUserConfirmation::send); });
    answer.join();
    return true;
  });
  TLBeacon::start(kSecret, {crashesClass()});
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(prompts.load(), 1);
  EXPECT_EQ(stored<TLAppleErrorLog>("Crashes").size(), 1u);
  EXPECT_TRUE(storedCrashFiles().empty());

  constexpr int kRounds = 40;
  runConcurrently(*queue, {
                              [&] {
                                // A new stored report each round, found by the next enabling.
                                for (int i = 0; i < kRounds; ++i) {
                                  storeReport(static_cast<std::uint8_t>(i));
                                  service->startCrashProcessing();
                                }
                              },
                              [&] {
                                for (int i = 0; i < kRounds; ++i) TLBeacon::setEnabled(i % 2 == 1);
                              },
                              [&] {
                                for (int i = 0; i < kRounds; ++i) {
                                  TLCrashes::notifyWithUserConfirmation(TLUserConfirmation::send);
                                }
                              },
                          });
  TLBeacon::setEnabled(true);
  processing->drain();
  queue->drain();
  std::set<std::string> incidents;
  auto crashLogs = stored<TLAppleErrorLog>("Crashes");
  for (const auto& log : crashLogs) incidents.insert(log->errorId.value_or(""));
  EXPECT_EQ(incidents.size(), crashLogs.size()) << "a crash handed to the channel once";
}

}  // namespace
}  // namespace ml::beacon::test

namespace ml::beacon::test {
namespace {

// The pressure watch reads the kernel's text: one call per episode above the threshold.
TEST(TLMemoryPressureSourceTest, CallsOncePerEpisodeOfPressure) {
  EXPECT_EQ(TLMemoryPressureSource::someAverage10("some avg10=42.50 avg60=1.00 avg300=0.00 total=9\n"), 42.5);
  EXPECT_EQ(TLMemoryPressureSource::someAverage10("full avg10=1.00\nsome avg10=3.25 avg60=0\n"), 3.25);
  EXPECT_FALSE(TLMemoryPressureSource::someAverage10("some avg60=1.00\n"));
  EXPECT_FALSE(TLMemoryPressureSource::someAverage10("some avg10=x\n"));

  ml::test::TempDir dir;
  const auto file = dir.write("memory", "some avg10=0.00 avg60=0.00 avg300=0.00 total=0\n");
  // Replaced whole, as the kernel's file never shows half a line.
  auto setLevel = [&](const std::string& text) { fs::rename(dir.write("next", text), file); };
  auto target = std::make_shared<ManualQueue>();
  int calls = 0;
  {
    // The watcher's own readings are an hour apart: the test takes them.
    TLMemoryPressureSource source(*target, [&] { ++calls; }, file.string(), std::chrono::hours(1));
    setLevel("some avg10=55.00 avg60=10.00 avg300=2.00 total=99\n");
    EXPECT_TRUE(source.sample());
    EXPECT_TRUE(source.sample());  // the same episode
    EXPECT_EQ(target->pending(), 1u);
    setLevel("some avg10=1.00 avg60=10.00 avg300=2.00 total=99\n");
    EXPECT_TRUE(source.sample());
    setLevel("some avg10=\n");  // no level: the episode neither ends nor begins
    EXPECT_TRUE(source.sample());
    setLevel("some avg10=80.00 avg60=10.00 avg300=2.00 total=99\n");
    EXPECT_TRUE(source.sample());
  }
  target->drain();
  EXPECT_EQ(calls, 2);
  TLMemoryPressureSource missing(*target, [] {}, (dir.path() / "none").string(), std::chrono::hours(1));
  EXPECT_FALSE(missing.sample());
}

}  // namespace
}  // namespace ml::beacon::test

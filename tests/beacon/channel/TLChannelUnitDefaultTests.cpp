#include "ChannelFixture.h"
#include "beacon/core/Channel/TLChannelUnitDefault.h"
#include "beacon/core/TLConstants.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon::test {
namespace {

using Strings = std::vector<std::string>;
using ml::beacon::TLLogLevel;

class TLChannelUnitTest : public ChannelTest {
 protected:
  std::shared_ptr<TLChannelUnitDefault> makeUnit(
      TLChannelUnitConfiguration configuration = TLChannelUnitConfiguration::defaultConfiguration("Test")) {
    auto unit = TLChannelUnitDefault::make(ingestion, storage, std::move(configuration), queue, environment());
    unit->addDelegate(delegate);
    return unit;
  }
  void enqueue(TLChannelUnitDefault& unit, const std::string& name) {
    unit.enqueueItem(makeLog(name), kTLFlagsNormal);
    queue->drain();
  }
  void advance(std::chrono::nanoseconds by) {
    queue->drain();
    clock.advance(by);
    queue->drain();
  }
  std::optional<foundation::PlistValue> startDate() { return settings.objectForKey("TLChannelStartTimer:Test"); }

  std::shared_ptr<int> pauser = std::make_shared<int>(1);
};

// --- Enqueueing

TEST_F(TLChannelUnitTest, EnqueuedLogIsCompletedPreparedFilteredStoredInThatOrder) {
  auto unit = makeUnit();
  auto log = makeLog("a");
  unit->enqueueItem(log, kTLFlagsNormal);
  EXPECT_TRUE(log->timestamp());
  EXPECT_TRUE(log->device());
  EXPECT_EQ(log->timestamp(), clock.now());
  EXPECT_EQ(delegate->events(), (Strings{"prepare a", "didPrepare a flags=1"}));
  EXPECT_EQ(storedLogs(), 0u) << "storing waits for the queue";

  queue->drain();
  EXPECT_EQ(delegate->events(), (Strings{"prepare a", "didPrepare a flags=1", "shouldFilter a", "didComplete a"}));
  ASSERT_EQ(delegate->internalIds.size(), 1u);
  EXPECT_TRUE(foundation::Uuid::parse(delegate->internalIds[0]));
  EXPECT_EQ(delegate->completedIds, delegate->internalIds);
  EXPECT_EQ(storedLogs(), 1u);
  EXPECT_EQ(unit->state().itemsCount, 1u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Saving log, type: event, flags: 1."), 1u);

  // Flags travel whole (64 bits) to the delegates and the store, which keeps the low byte.
  unit->enqueueItem(makeLog("b"), (std::uint64_t{1} << 32) | kTLFlagsCritical);
  queue->drain();
  EXPECT_EQ(delegate->events()[5], "didPrepare b flags=4294967298");
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Saving log, type: event, flags: 4294967298."), 1u);
  EXPECT_EQ(storedLogs(), 2u);
}

TEST_F(TLChannelUnitTest, AbsentOrInvalidLogIsRefusedWithoutCallbacks) {
  auto unit = makeUnit();
  unit->enqueueItem(nullptr, kTLFlagsNormal);
  unit->enqueueItem(std::make_shared<TLLogWithProperties>(), kTLFlagsNormal);  // no type
  queue->drain();
  EXPECT_TRUE(delegate->events().empty());
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Log is not valid."), 2u);
  EXPECT_EQ(storedLogs(), 0u);
}

TEST_F(TLChannelUnitTest, FilteredLogIsCompletedButNotStoredAndLaterDelegatesAreNotAsked) {
  auto unit = makeUnit();
  delegate->filter = [](const auto&) { return true; };
  auto second = std::make_shared<RecordingDelegate>();
  unit->addDelegate(second);
  enqueue(*unit, "a");
  EXPECT_EQ(second->eventsStartingWith("shouldFilter"), Strings{});
  EXPECT_EQ(second->eventsStartingWith("didComplete"), Strings{"didComplete a"});
  EXPECT_EQ(storedLogs(), 0u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Log of type 'event' was filtered out by delegate(s)"), 1u);
}

TEST_F(TLChannelUnitTest, LogIsDroppedWhileTheIngestionIsNotReady) {
  ingestion->readyToSend = false;
  auto unit = makeUnit();
  enqueue(*unit, "a");
  EXPECT_EQ(delegate->eventsStartingWith("didComplete"), Strings{"didComplete a"});
  EXPECT_EQ(storedLogs(), 0u);
  EXPECT_EQ(capture.count(TLLogLevel::debug, "but ingestion is not ready to send it."), 1u);
}

TEST_F(TLChannelUnitTest, LogTheStoreRefusesIsNotCounted) {
  storage->refuseSaves = true;
  auto unit = makeUnit();
  enqueue(*unit, "a");
  EXPECT_EQ(delegate->eventsStartingWith("didComplete"), Strings{"didComplete a"});
  EXPECT_EQ(unit->state().itemsCount, 0u);
  EXPECT_FALSE(unit->state().timerRunning);
}

// --- When to flush

TEST_F(TLChannelUnitTest, FullBatchUnderTheDefaultIntervalLeavesAtOnce) {
  auto unit = makeUnit();
  for (int i = 0; i < 49; ++i) enqueue(*unit, "log" + std::to_string(i));
  EXPECT_TRUE(ingestion->calls.empty());
  enqueue(*unit, "log49");
  ASSERT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(ingestion->calls[0].container->logs.size(), 50u);
  EXPECT_EQ(unit->state().itemsCount, 0u);
  EXPECT_EQ(delegate->eventsStartingWith("willSend").size(), 50u);
}

TEST_F(TLChannelUnitTest, SmallerBatchLeavesThreeSecondsAfterTheLastLog) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  advance(seconds(2));
  enqueue(*unit, "b");
  advance(seconds(2));
  EXPECT_TRUE(ingestion->calls.empty()) << "each log restarts the timer";
  advance(seconds(1));
  ASSERT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(ingestion->calls[0].container->logs.size(), 2u);
  EXPECT_FALSE(unit->state().timerRunning);
}

TEST_F(TLChannelUnitTest, LongIntervalStartsAtTheFirstUnsentLogAndIsPersisted) {
  auto unit = makeUnit(TLChannelUnitConfiguration::defaultConfiguration("Test", 30));
  const auto start = clock.now();
  enqueue(*unit, "a");
  ASSERT_TRUE(startDate());
  EXPECT_EQ(startDate()->date(), start);
  advance(seconds(20));
  enqueue(*unit, "b");
  EXPECT_EQ(startDate()->date(), start) << "a later log keeps the first one's start";
  advance(seconds(9));
  EXPECT_TRUE(ingestion->calls.empty());
  advance(seconds(1));
  ASSERT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(ingestion->calls[0].container->logs.size(), 2u);
  EXPECT_FALSE(startDate()) << "the fired timer forgets the start";
}

TEST_F(TLChannelUnitTest, StartPersistedByAnEarlierRunShortensTheWait) {
  settings.setObject(foundation::PlistValue(clock.now() - milliseconds(20500)), "TLChannelStartTimer:Test");
  auto unit = makeUnit(TLChannelUnitConfiguration::defaultConfiguration("Test", 30));
  enqueue(*unit, "a");
  advance(seconds(9));
  EXPECT_TRUE(ingestion->calls.empty()) << "20.5 s elapsed count as 20 whole seconds";
  advance(seconds(1));
  EXPECT_EQ(ingestion->calls.size(), 1u);
}

TEST_F(TLChannelUnitTest, OverduePersistedStartFlushesAtOnceAndIsForgotten) {
  settings.setObject(foundation::PlistValue(clock.now() - seconds(31)), "TLChannelStartTimer:Test");
  auto unit = makeUnit(TLChannelUnitConfiguration::defaultConfiguration("Test", 30));
  enqueue(*unit, "a");
  EXPECT_EQ(ingestion->calls.size(), 1u);
  EXPECT_FALSE(startDate());
}

TEST_F(TLChannelUnitTest, PersistedStartInTheFutureIsReplacedByNow) {
  settings.setObject(foundation::PlistValue(clock.now() + seconds(3600)), "TLChannelStartTimer:Test");
  auto unit = makeUnit(TLChannelUnitConfiguration::defaultConfiguration("Test", 30));
  enqueue(*unit, "a");
  ASSERT_TRUE(startDate());
  EXPECT_EQ(startDate()->date(), clock.now());
  advance(seconds(30));
  EXPECT_EQ(ingestion->calls.size(), 1u);
}

// --- Sending and answers

TEST_F(TLChannelUnitTest, SuccessfulAnswerReportsEachLogAndDeletesTheBatch) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  enqueue(*unit, "b");
  advance(seconds(3));
  ASSERT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(unit->state().pendingBatchIds, Strings{ingestion->calls[0].container->batchId});
  delegate->clear();
  ingestion->answer(0, 200);
  EXPECT_TRUE(delegate->events().empty()) << "answers are handled on the queue";
  queue->drain();
  EXPECT_EQ(delegate->events(), (Strings{"didSucceed a", "didSucceed b"}));
  EXPECT_EQ(storedLogs(), 0u);
  EXPECT_TRUE(unit->state().pendingBatchIds.empty());
}

TEST_F(TLChannelUnitTest, FailedAnswerReportsEachLogAndKeepsTheRows) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  advance(seconds(3));
  ingestion->answer(0, 503);
  queue->drain();
  EXPECT_EQ(delegate->eventsStartingWith("didFail"), Strings{"didFail a code=101"});
  EXPECT_EQ(storedLogs(), 1u);
  EXPECT_TRUE(unit->state().pendingBatchIds.empty());
  EXPECT_EQ(capture.count(TLLogLevel::error, "Log(s) sent with failure, batch Id:" +
                                                 ingestion->calls[0].container->batchId + ", status code:503"),
            1u);
}

TEST_F(TLChannelUnitTest, MissingResponseCountsAsStatusZero) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  advance(seconds(3));
  ingestion->answer(0, 0);
  queue->drain();
  EXPECT_EQ(capture.count(TLLogLevel::error, "status code:0"), 1u);
}

TEST_F(TLChannelUnitTest, AtMostThePendingLimitOfBatchesIsInFlight) {
  auto unit = makeUnit({"Test", 1, 3, 2, 3});  // batches of 2, 3 in flight
  unit->pauseWithIdentifyingObject(pauser);
  for (int i = 0; i < 10; ++i) enqueue(*unit, "log" + std::to_string(i));
  EXPECT_TRUE(ingestion->calls.empty());
  unit->resumeWithIdentifyingObject(pauser);
  queue->drain();
  ASSERT_EQ(ingestion->calls.size(), 3u);
  EXPECT_TRUE(unit->state().pendingBatchQueueFull);

  ingestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(ingestion->calls.size(), 4u) << "a success frees a slot and loads the next batch";

  ingestion->answer(1, 500);
  queue->drain();
  EXPECT_EQ(ingestion->calls.size(), 4u) << "a failure frees the slot without loading";
  EXPECT_FALSE(unit->state().pendingBatchQueueFull);
  EXPECT_EQ(unit->state().pendingBatchIds.size(), 2u);
}

// A second store over the same file stands for another process: while the first has a batch in
// flight the second's unit sends nothing, keeps looking, and sends its log once the first is done.
TEST_F(TLChannelUnitTest, UnitWhoseStoreAnotherProcessSendsLooksAgainUntilItIsFree) {
  auto unit = makeUnit();
  auto otherIngestion = std::make_shared<FakeIngestion>();
  auto other = TLChannelUnitDefault::make(
      otherIngestion,
      std::make_shared<TLLogDBStorage>(std::make_unique<TLEncrypter>(security::RandomSource::system(), settings, clock)),
      TLChannelUnitConfiguration::defaultConfiguration("Test"), queue, environment());
  enqueue(*unit, "a");
  advance(seconds(3));
  ASSERT_EQ(ingestion->calls.size(), 1u);

  other->enqueueItem(makeLog("b"), kTLFlagsNormal);
  advance(seconds(3));
  advance(seconds(3));
  EXPECT_TRUE(otherIngestion->calls.empty());
  EXPECT_TRUE(other->state().timerRunning);

  ingestion->answer(0, 200);
  advance(seconds(3));
  ASSERT_EQ(otherIngestion->calls.size(), 1u);
  ASSERT_EQ(otherIngestion->calls[0].container->logs.size(), 1u);
  EXPECT_EQ(ingestion->calls.size(), 1u) << "each log goes out once";
  otherIngestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(storedLogs(), 0u);
}

TEST_F(TLChannelUnitTest, AnswerForABatchNoLongerPendingIsIgnored) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  advance(seconds(3));
  ingestion->answer(0, 200);
  ingestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(delegate->eventsStartingWith("didSucceed"), Strings{"didSucceed a"});
  EXPECT_EQ(capture.count(TLLogLevel::warning,
                          "Batch Id " + ingestion->calls[0].container->batchId + " not expected, ignore."),
            1u);
}

TEST_F(TLChannelUnitTest, BatchesFollowTheAuthTokenWindows) {
  authTokens->setAuthToken("t1", "account", std::nullopt);
  auto unit = makeUnit();
  unit->pauseWithIdentifyingObject(pauser);
  advance(seconds(1));
  enqueue(*unit, "a");
  advance(seconds(10));
  authTokens->setAuthToken("t2", "account", std::nullopt);
  advance(seconds(1));
  enqueue(*unit, "b");
  unit->resumeWithIdentifyingObject(pauser);
  advance(seconds(3));
  ASSERT_EQ(ingestion->calls.size(), 2u);
  EXPECT_EQ(ingestion->calls[0].authToken, "t1");
  EXPECT_EQ(RecordingDelegate::nameOf(ingestion->calls[0].container->logs.at(0)), "a");
  EXPECT_EQ(ingestion->calls[1].authToken, "t2");
  EXPECT_EQ(RecordingDelegate::nameOf(ingestion->calls[1].container->logs.at(0)), "b");
}

TEST_F(TLChannelUnitTest, SendingLinesWithPayloadsAreBuiltOnlyAtDebugLevel) {
  auto unit = makeUnit();
  TLLogger::setCurrentLogLevel(TLLogLevel::warning);
  enqueue(*unit, "a");
  advance(seconds(3));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Sending 1/1 log"), 0u);
  TLLogger::setCurrentLogLevel(TLLogLevel::debug);
  enqueue(*unit, "b");
  advance(seconds(3));
  EXPECT_EQ(capture.count(TLLogLevel::debug, "Sending 1/1 log, group Id: Test, batch Id: " +
                                                 ingestion->calls[1].container->batchId +
                                                 ", session Id: (null), payload:\n{"),
            1u);
}

// --- Pausing and switching

TEST_F(TLChannelUnitTest, PausedUnitStoresLogsAndSendsOnlyWhenTheLastPauserResumes) {
  auto unit = makeUnit();
  auto other = std::make_shared<int>(2);
  unit->pauseWithIdentifyingObject(pauser);
  unit->pauseWithIdentifyingObject(other);
  enqueue(*unit, "a");
  advance(seconds(10));
  EXPECT_EQ(storedLogs(), 1u);
  EXPECT_FALSE(unit->state().timerRunning);
  EXPECT_TRUE(ingestion->calls.empty());

  unit->resumeWithIdentifyingObject(pauser);
  advance(seconds(10));
  EXPECT_TRUE(ingestion->calls.empty());
  unit->resumeWithIdentifyingObject(other);
  advance(seconds(3));
  EXPECT_EQ(ingestion->calls.size(), 1u);
  EXPECT_EQ(delegate->eventsStartingWith("didPause").size(), 2u);
  EXPECT_EQ(delegate->eventsStartingWith("didResume").size(), 2u);
}

TEST_F(TLChannelUnitTest, PauserThatWentAwayNoLongerHoldsTheUnit) {
  auto unit = makeUnit();
  auto other = std::make_shared<int>(2);
  unit->pauseWithIdentifyingObject(pauser);
  unit->pauseWithIdentifyingObject(other);
  queue->drain();
  other.reset();
  unit->resumeWithIdentifyingObject(pauser);
  queue->drain();
  EXPECT_FALSE(unit->state().paused);
}

TEST_F(TLChannelUnitTest, DisablingWithDeletionFailsEveryStoredLogThenDiscardsNewOnes) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  enqueue(*unit, "b");
  delegate->clear();
  unit->setEnabled(false, true);
  queue->drain();
  EXPECT_EQ(delegate->events(), (Strings{"didPause", "willSend a", "didFail a code=100", "willSend b",
                                         "didFail b code=100", "didSetEnabled 01"}));
  ASSERT_FALSE(delegate->errors.empty());
  EXPECT_EQ(delegate->errors[0].message, "Canceled, connection paused with log deletion.");
  EXPECT_EQ(delegate->errors[0].domain, kTLReverseDomainPrefix);
  EXPECT_EQ(storedLogs(), 0u);
  EXPECT_FALSE(startDate());

  delegate->clear();
  enqueue(*unit, "c");
  EXPECT_EQ(delegate->events(), (Strings{"prepare c", "didPrepare c flags=1", "shouldFilter c", "willSend c",
                                         "didFail c code=100", "didComplete c"}));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Channel Test disabled in log discarding mode, discard this log."), 1u);

  unit->setEnabled(true, false);
  enqueue(*unit, "d");
  EXPECT_EQ(storedLogs(), 1u);
}

TEST_F(TLChannelUnitTest, DisablingWithoutDeletionKeepsLogsUntilEnabledAgain) {
  auto unit = makeUnit();
  unit->setEnabled(false, false);
  enqueue(*unit, "a");
  advance(seconds(10));
  EXPECT_EQ(storedLogs(), 1u);
  EXPECT_TRUE(ingestion->calls.empty());
  unit->setEnabled(true, false);
  advance(seconds(3));
  EXPECT_EQ(ingestion->calls.size(), 1u);
}

TEST_F(TLChannelUnitTest, AnswerArrivingAfterDisablingWithDeletionIsHandledNormally) {
  auto unit = makeUnit();
  enqueue(*unit, "a");
  advance(seconds(3));
  unit->setEnabled(false, true);
  queue->drain();
  ingestion->answer(0, 200);
  queue->drain();
  EXPECT_EQ(delegate->eventsStartingWith("didSucceed"), Strings{"didSucceed a"});
  EXPECT_EQ(capture.count(TLLogLevel::warning, "not expected"), 0u);
}

TEST_F(TLChannelUnitTest, IngestionPausesResumesAndDisablesTheUnit) {
  auto unit = makeUnit();
  ingestion->tellDelegates([&](TLIngestionDelegate& d) { d.ingestionDidPause(*ingestion); });
  queue->drain();
  EXPECT_TRUE(unit->state().paused);
  ingestion->tellDelegates([&](TLIngestionDelegate& d) { d.ingestionDidResume(*ingestion); });
  queue->drain();
  EXPECT_FALSE(unit->state().paused);
  ingestion->tellDelegates([&](TLIngestionDelegate& d) { d.ingestionDidReceiveFatalError(*ingestion); });
  queue->drain();
  EXPECT_FALSE(unit->state().enabled);
  EXPECT_TRUE(unit->state().discardLogs);
}

TEST_F(TLChannelUnitTest, UnitOverAPausedIngestionStartsPaused) {
  ingestion->paused = true;
  auto unit = makeUnit();
  queue->drain();
  EXPECT_TRUE(unit->state().paused);
}

TEST_F(TLChannelUnitTest, TargetTokenPauseKeepsOnlyThatKeyFromLoading) {
  auto unit = makeUnit();
  unit->pauseSendingLogsWithToken("key1-secret");
  unit->pauseSendingLogsWithToken("-no-key");
  enqueue(*unit, "a");
  advance(seconds(3));
  ASSERT_FALSE(storage->loads.empty());
  EXPECT_EQ(storage->loads.back().excludedTargetKeys, Strings{"key1"});
  EXPECT_EQ(ingestion->calls.size(), 1u) << "logs of other keys still flow";

  unit->resumeSendingLogsWithToken("key1-secret");
  queue->drain();
  EXPECT_TRUE(unit->state().pausedTargetKeys.empty());
}

TEST_F(TLChannelUnitTest, AuthTokenListenerReachesTheUnitOnlyWhileItLives) {
  auto unit = makeUnit();
  std::weak_ptr<TLChannelUnitDefault> weak = unit;
  authTokens->addDelegate(unit->authTokenContextDelegate());
  authTokens->setAuthToken("t1", "account", std::nullopt);
  queue->drain();
  EXPECT_EQ(capture.count(TLLogLevel::info, "New auth token received, flushing queue."), 1u);
  unit.reset();
  queue->drain();
  EXPECT_TRUE(weak.expired()) << "the context does not keep the unit alive";
  authTokens->setAuthToken("t2", "account", std::nullopt);
  queue->drain();
  EXPECT_EQ(capture.count(TLLogLevel::info, "New auth token received, flushing queue."), 1u);
}

}  // namespace
}  // namespace ml::beacon::test

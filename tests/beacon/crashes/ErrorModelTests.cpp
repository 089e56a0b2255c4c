// JSON, validity, equality and archive round trips of the error-log models.
#include <gtest/gtest.h>

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"
#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "beacon/crashes/Model/TLErrorReport.h"
#include "beacon/crashes/Model/TLHandledErrorLog.h"
#include "../core/ModelFixtures.h"

namespace ml::beacon {
namespace {

template <class T>
std::shared_ptr<T> roundTrip(const T& object) {
  registerCrashesArchiveClasses();
  auto data = TLKeyedArchiver::archivedData(object);
  EXPECT_TRUE(data);
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<T>(*data);
  EXPECT_TRUE(decoded) << (decoded ? "" : decoded.error().message);
  return decoded ? *decoded : nullptr;
}

std::shared_ptr<TLStackFrame> frame(std::string address) {
  auto f = std::make_shared<TLStackFrame>();
  f->address = std::move(address);
  return f;
}

std::shared_ptr<TLAppleErrorLog> fullAppleErrorLog() {
  auto log = std::make_shared<TLAppleErrorLog>();
  log->setTimestamp(test::sampleDate());
  log->setDevice(test::validDevice());
  log->setSid("session");
  log->properties = std::map<std::string, std::string>{{"k", "v"}};
  log->errorId = "0A1B2C3D-0000-4000-8000-000000000001";
  log->processId = 4242;
  log->processName = "Marrowlane";
  log->parentProcessId = 1;
  log->parentProcessName = "launcher";
  log->errorThreadId = 3;
  log->fatal = true;
  log->appLaunchTimestamp = test::sampleDate();
  log->primaryArchitectureId = 0x01000007;
  log->architectureVariantId = 3;
  log->applicationPath = "/opt/app";
  log->osExceptionType = "SIGSEGV";
  log->osExceptionCode = "SEGV_MAPERR";
  log->osExceptionAddress = "0x10";
  log->exceptionType = "std::runtime_error";
  log->exceptionReason = "boom";
  auto thread = std::make_shared<TLThread>();
  thread->threadId = 3;
  thread->frames->push_back(frame("0x0000000000001000"));
  auto exception = std::make_shared<TLException>();
  exception->type = "std::runtime_error";
  exception->frames = std::vector{frame("0x1")};
  auto inner = std::make_shared<TLException>();
  inner->type = "inner";
  exception->innerExceptions = std::vector{inner};
  thread->exception = exception;
  log->threads = std::vector{thread};
  auto binary = std::make_shared<TLBinary>();
  binary->binaryId = "abc";
  binary->startAddress = "0x1";
  binary->endAddress = "0x2";
  binary->name = "lib";
  binary->path = "/lib";
  log->binaries = std::vector{binary};
  log->registers = std::map<std::string, std::string>{{"rip", "0x0000000000001000"}};
  log->exception = exception;
  return log;
}

TEST(TLAppleErrorLog, NewLogSerialisesOnlyTypeAndFatal) {
  TLAppleErrorLog log;
  const auto json = log.serializeToDictionary();
  EXPECT_EQ(json, (TLJsonValue{{"type", "appleError"}, {"fatal", false}}));
}

TEST(TLAppleErrorLog, ListsAreWrittenWhenPresentEvenEmpty) {
  TLAppleErrorLog log;
  log.threads = std::vector<std::shared_ptr<TLThread>>{};
  auto json = log.serializeToDictionary();
  EXPECT_EQ(json["threads"], TLJsonValue::array());
  EXPECT_FALSE(json.contains("binaries"));
}

TEST(TLAppleErrorLog, FullLogJsonCarriesNestedRecordsAndIsoDates) {
  auto json = fullAppleErrorLog()->serializeToDictionary();
  EXPECT_EQ(json["id"], "0A1B2C3D-0000-4000-8000-000000000001");
  EXPECT_EQ(json["appLaunchTimestamp"], "2026-12-07T08:00:00.123Z");
  EXPECT_EQ(json["fatal"], true);
  EXPECT_EQ(json["threads"][0]["id"], 3);
  EXPECT_EQ(json["threads"][0]["frames"][0]["address"], "0x0000000000001000");
  EXPECT_EQ(json["threads"][0]["exception"]["innerExceptions"][0]["type"], "inner");
  EXPECT_EQ(json["registers"]["rip"], "0x0000000000001000");
  EXPECT_EQ(json["binaries"][0]["id"], "abc");
  EXPECT_EQ(json["properties"]["k"], "v");
}

TEST(TLAppleErrorLog, ValidityNeedsArchitectureApplicationPathAndOsException) {
  auto log = fullAppleErrorLog();
  EXPECT_TRUE(log->isValid());
  log->exceptionType.reset();
  log->threads.reset();
  log->binaries.reset();
  log->registers.reset();
  log->exception.reset();
  log->selectorRegisterValue.reset();
  EXPECT_TRUE(log->isValid());
  log->osExceptionAddress.reset();
  EXPECT_FALSE(log->isValid());
  auto noProcessName = fullAppleErrorLog();
  noProcessName->processName.reset();
  EXPECT_FALSE(noProcessName->isValid());
}

TEST(TLAppleErrorLog, ArchiveRoundTripIsEqual) {
  auto log = fullAppleErrorLog();
  auto decoded = roundTrip(*log);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(*log));
  EXPECT_EQ(decoded->appLaunchTimestamp, log->appLaunchTimestamp);
  decoded->threads->front()->frames->front()->address = "0x2";
  EXPECT_FALSE(decoded->isEqual(*log));
}

TEST(TLErrorModels, PlainRecordsRoundTripAndDecodedThreadKeepsItsList) {
  TLThread thread;
  thread.threadId = 1;
  auto decodedThread = roundTrip(thread);
  ASSERT_TRUE(decodedThread);
  EXPECT_TRUE(decodedThread->isEqual(thread));
  TLStackFrame f;
  f.frameClassName = "C";
  f.lineNumber = 12;
  auto decodedFrame = roundTrip(f);
  ASSERT_TRUE(decodedFrame);
  EXPECT_TRUE(decodedFrame->isEqual(f));
  EXPECT_EQ(f.serializeToDictionary()["className"], "C");
}

TEST(TLErrorModels, ExceptionAndThreadValidityNeedFrames) {
  TLException exception;
  exception.type = "t";
  exception.frames = std::vector<std::shared_ptr<TLStackFrame>>{};
  EXPECT_FALSE(exception.isValid());
  EXPECT_EQ(exception.serializeToDictionary()["frames"], TLJsonValue::array());
  TLThread thread;
  EXPECT_FALSE(thread.isValid());
  thread.threadId = 1;
  thread.frames->push_back(frame("0x1"));
  EXPECT_TRUE(thread.isValid());
}

TEST(TLErrorModels, AbsentAndEmptyFieldsDifferInEquality) {
  TLBinary a, b;
  a.binaryId = b.binaryId = "x";
  EXPECT_TRUE(a.isEqual(b));
  b.path = "";
  EXPECT_FALSE(a.isEqual(b));
  EXPECT_FALSE(b.isEqual(a));
}

TEST(TLHandledErrorLog, ValidWithExceptionWhoseTypeIsAbsent) {
  TLHandledErrorLog log;
  log.setTimestamp(test::sampleDate());
  log.setDevice(test::validDevice());
  log.errorId = "id";
  EXPECT_FALSE(log.isValid());
  log.exception = std::make_shared<TLException>();
  EXPECT_TRUE(log.isValid());
  EXPECT_EQ(log.serializeToDictionary()["type"], "handledError");
  auto decoded = roundTrip(log);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(log));
}

TEST(TLErrorAttachmentLog, EachAttachmentHasItsOwnIdAndTextIsPlain) {
  auto a = TLErrorAttachmentLog::attachmentWithText("hello", "a.txt");
  auto b = TLErrorAttachmentLog::attachmentWithText("hello", "a.txt");
  ASSERT_TRUE(a->attachmentId && b->attachmentId);
  EXPECT_NE(*a->attachmentId, *b->attachmentId);
  EXPECT_EQ(a->contentType, "text/plain");
  EXPECT_EQ(a->serializeToDictionary()["fileName"], "a.txt");
  EXPECT_EQ(a->serializeToDictionary()["data"], "aGVsbG8=");
}

TEST(TLErrorAttachmentLog, ValidityAndEmptyData) {
  auto log = TLErrorAttachmentLog::attachmentWithText("", std::nullopt);
  log->setTimestamp(test::sampleDate());
  log->setDevice(test::validDevice());
  EXPECT_FALSE(log->isValid());
  log->errorId = "E";
  EXPECT_TRUE(log->isValid());
  auto json = log->serializeToDictionary();
  EXPECT_EQ(json["data"], "");
  EXPECT_FALSE(json.contains("fileName"));
  auto binary = TLErrorAttachmentLog::attachmentWithBinary(TLErrorAttachmentLog::Data{1}, "f", std::nullopt);
  binary->setTimestamp(test::sampleDate());
  binary->setDevice(test::validDevice());
  binary->errorId = "E";
  EXPECT_FALSE(binary->isValid());
}

TEST(TLErrorAttachmentLog, Base64HasPaddingAndNoLineBreaks) {
  EXPECT_EQ(TLErrorAttachmentLog::base64({}), "");
  EXPECT_EQ(TLErrorAttachmentLog::base64({'f'}), "Zg==");
  EXPECT_EQ(TLErrorAttachmentLog::base64({'f', 'o'}), "Zm8=");
  EXPECT_EQ(TLErrorAttachmentLog::base64({0xff, 0xfe, 0xfd}), "//79");
  const auto text = TLErrorAttachmentLog::base64(TLErrorAttachmentLog::Data(1000, 7));
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

TEST(TLErrorAttachmentLog, ArchiveKeepsRawBytes) {
  auto log = TLErrorAttachmentLog::attachmentWithBinary(TLErrorAttachmentLog::Data{0, 0xff, 0x80, 'a'}, "b.bin",
                                                        "application/octet-stream");
  log->errorId = "E";
  auto decoded = roundTrip(*log);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isEqual(*log));
  EXPECT_EQ(decoded->data, log->data);
}

TEST(TLErrorReport, AppKillIsSigkillInAnyCase) {
  TLErrorReport report("id", "", "SIGKILL", std::nullopt, std::nullopt, std::nullopt, std::nullopt, nullptr,
                       UINT64_MAX);
  EXPECT_TRUE(report.isAppKill());
  EXPECT_EQ(report.appProcessIdentifier(), UINT64_MAX);
  EXPECT_FALSE(report.exceptionName());
  report.setSignal("sigkill");
  EXPECT_TRUE(report.isAppKill());
  report.setSignal("SIGKILL ");
  EXPECT_FALSE(report.isAppKill());
  report.setSignal("SIGABRT");
  EXPECT_FALSE(report.isAppKill());
  report.setSignal(std::nullopt);
  EXPECT_FALSE(report.isAppKill());
}

}  // namespace
}  // namespace ml::beacon

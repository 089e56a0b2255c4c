// The crash log buffer: slots, crash-time files and their replay at the next start.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLStartServiceLog.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Internals/TLCrashesLogBuffer.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"
#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "crashreporter/capture/CrashHandlerContext.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

namespace fs = std::filesystem;
constexpr const char* kFolder = "crasheslogbuffer";

// The name of slot i's buffer file.
std::string bufferFile(int i) { return std::to_string(i) + "." + std::string(TLCrashesLogBuffer::kBufferExtension); }

class TLCrashesLogBufferTest : public ::testing::Test {
 protected:
  TLCrashesLogBufferTest() : buffer_([this] { return clock_ += 1.0; }) {}
  void SetUp() override { buffer_.setup(kFolder); }

  std::shared_ptr<TLStartServiceLog> log(std::string sid) {
    auto l = std::make_shared<TLStartServiceLog>();
    l->setType("startService");
    l->setSid(std::move(sid));
    return l;
  }
  static TLCrashesLogBuffer::Encrypt encrypter() {
    return [](const std::string& token) { return std::optional<std::string>("enc:" + token); };
  }
  static TLCrashesLogBuffer::Decrypt decrypter() {
    return [](const std::string& text) -> std::optional<std::string> {
      if (text.rfind("enc:", 0) != 0) return std::nullopt;
      return text.substr(4);
    };
  }
  fs::path folder() const { return *TLUtilityFile::fullURLForPathComponent(kFolder); }
  static uintmax_t size(const fs::path& path) { return fs::file_size(path); }

  ml::test::XdgSandbox sandbox_;
  double clock_ = 1000;
  TLCrashesLogBuffer buffer_;
};

TEST_F(TLCrashesLogBufferTest, SetupCreatesSixtyEmptyFilesAndKeepsCrashLeftovers) {
  for (int i = 0; i < TLCrashesLogBuffer::kSlotCount; ++i) {
    EXPECT_EQ(size(folder() / bufferFile(i)), 0u);
  }
  std::ofstream(folder() / bufferFile(3)) << "left";
  buffer_.setup(kFolder);
  EXPECT_EQ(size(folder() / bufferFile(3)), 4u);
  EXPECT_EQ(buffer_.bufferPath(3), (folder() / bufferFile(3)).string());
}

TEST_F(TLCrashesLogBufferTest, PreparedLogFillsFirstFreeSlotAndCompletionFreesIt) {
  buffer_.didPrepareLog(*log("a"), "id-a", encrypter());
  buffer_.didPrepareLog(*log("b"), "id-b", encrypter());
  EXPECT_EQ(buffer_.slot(0).internalId, "id-a");
  EXPECT_EQ(buffer_.slot(1).internalId, "id-b");
  buffer_.didCompleteEnqueueingLog(*log("a"), "unknown");
  EXPECT_FALSE(buffer_.slot(0).buffer.empty());
  buffer_.didCompleteEnqueueingLog(*log("a"), "id-a");
  EXPECT_TRUE(buffer_.slot(0).buffer.empty());
  EXPECT_EQ(buffer_.slot(0).timestamp, 0);
  buffer_.didPrepareLog(*log("c"), "id-c", encrypter());
  EXPECT_EQ(buffer_.slot(0).internalId, "id-c");
}

TEST_F(TLCrashesLogBufferTest, FullBufferOverwritesTheOldestSlot) {
  for (int i = 0; i < TLCrashesLogBuffer::kSlotCount; ++i) buffer_.didPrepareLog(*log("s"), "id" + std::to_string(i), encrypter());
  auto last = log("last");
  last->addTransmissionTargetToken("token-1");
  buffer_.didPrepareLog(*last, "id-last", encrypter());
  EXPECT_EQ(buffer_.slot(0).internalId, "id-last");
  EXPECT_EQ(buffer_.slot(0).targetToken, "enc:token-1");
  EXPECT_EQ(buffer_.slot(1).internalId, "id1");
  buffer_.didPrepareLog(*log("next"), "id-next", encrypter());
  EXPECT_EQ(buffer_.slot(1).internalId, "id-next");
}

TEST_F(TLCrashesLogBufferTest, CrashLogsAndAttachmentsAreNeverBuffered) {
  buffer_.didPrepareLog(TLAppleErrorLog(), "crash", encrypter());
  buffer_.didPrepareLog(TLErrorAttachmentLog(), "attachment", encrypter());
  EXPECT_TRUE(buffer_.slot(0).buffer.empty());
}

TEST_F(TLCrashesLogBufferTest, CrashWriteAndReplayRestoreLogsWithTokensAndEmptyTheFiles) {
  auto withToken = log("a");
  withToken->addTransmissionTargetToken("tok");
  buffer_.didPrepareLog(*withToken, "id-a", encrypter());
  buffer_.didPrepareLog(*log("b"), "id-b", encrypter());
  buffer_.saveAtCrash();
  EXPECT_GT(size(folder() / bufferFile(0)), 0u);
  EXPECT_TRUE(fs::exists(folder() / "0.targettoken"));
  EXPECT_FALSE(fs::exists(folder() / "1.targettoken"));
  EXPECT_EQ(size(folder() / bufferFile(2)), 0u);

  std::vector<std::shared_ptr<TLAbstractLog>> replayed;
  TLCrashesLogBuffer::processLogBufferAfterCrash(kFolder, decrypter(),
                                                 [&](std::shared_ptr<TLAbstractLog> l) { replayed.push_back(l); });
  ASSERT_EQ(replayed.size(), 2u);
  int withTokens = 0;
  for (const auto& l : replayed) {
    if (l->transmissionTargetTokens() && l->transmissionTargetTokens()->count("tok")) ++withTokens;
  }
  EXPECT_EQ(withTokens, 1);
  for (int i = 0; i < TLCrashesLogBuffer::kSlotCount; ++i) {
    EXPECT_EQ(size(folder() / bufferFile(i)), 0u);
  }
  EXPECT_FALSE(fs::exists(folder() / "0.targettoken"));
}

// The crash-time write reads the slots while other threads may still change them: it writes
// whole logs or empty files, never bytes that were freed or half replaced under it.
TEST_F(TLCrashesLogBufferTest, CrashWriteWhileSlotsChangeWritesOnlyWholeLogs) {
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    for (int i = 0; !stop.load(); ++i) {
      auto changing = log("s" + std::to_string(i));
      buffer_.didPrepareLog(*changing, "churn", encrypter());
      buffer_.didCompleteEnqueueingLog(*changing, "churn");
    }
  });
  registerCrashesArchiveClasses();
  const std::string slot0 = (folder() / bufferFile(0)).string();
  for (int round = 0; round < 300; ++round) {
    buffer_.saveAtCrash();
    auto bytes = TLUtilityFile::loadDataForPathComponent(slot0);  // may be gone: a freed slot's file is deleted
    if (!bytes || bytes->empty()) continue;
    EXPECT_TRUE(TLKeyedUnarchiver::unarchivedObjectOfClass<TLAbstractLog>(*bytes)) << "round " << round;
  }
  stop = true;
  churn.join();
}

TEST_F(TLCrashesLogBufferTest, ReplaySkipsCorruptFilesAndUndecryptableTokens) {
  std::ofstream(folder() / bufferFile(5)) << "garbage";
  buffer_.didPrepareLog(*log("a"), "id-a", encrypter());
  buffer_.saveAtCrash();
  std::ofstream(folder() / "0.targettoken") << "not-encrypted";
  // The crash write truncated slot 5 (free); write the corrupt bytes after it.
  std::ofstream(folder() / bufferFile(5)) << "garbage";
  int count = 0;
  TLCrashesLogBuffer::processLogBufferAfterCrash(kFolder, decrypter(), [&](std::shared_ptr<TLAbstractLog> l) {
    ++count;
    EXPECT_FALSE(l->transmissionTargetTokens());
  });
  EXPECT_EQ(count, 1);
  EXPECT_EQ(size(folder() / bufferFile(5)), 0u);
  EXPECT_FALSE(fs::exists(folder() / "0.targettoken"));
}

TEST_F(TLCrashesLogBufferTest, CompletionAfterCrashWriteDeletesTheSlotFile) {
  buffer_.didPrepareLog(*log("a"), "id-a", encrypter());
  buffer_.saveAtCrash();
  buffer_.didCompleteEnqueueingLog(*log("a"), "id-a");
  EXPECT_FALSE(fs::exists(folder() / bufferFile(0)));
}

TEST_F(TLCrashesLogBufferTest, EmptyingLeavesTokenFilesAndSlotsAlone) {
  buffer_.didPrepareLog(*log("a"), "id-a", encrypter());
  std::ofstream(folder() / bufferFile(1)) << "data";
  std::ofstream(folder() / "1.targettoken") << "t";
  TLCrashesLogBuffer::emptyLogBufferFiles(kFolder);
  EXPECT_EQ(size(folder() / bufferFile(1)), 0u);
  EXPECT_EQ(size(folder() / "1.targettoken"), 1u);
  EXPECT_FALSE(buffer_.slot(0).buffer.empty());
}

}  // namespace
}  // namespace ml::beacon

namespace ml::beacon {
namespace {

// The buffer's crash callback has the shape the crash reporter's post-crash callback expects.
TEST(TLCrashesLogBufferCallback, MatchesTheReportersPostCrashCallback) {
  crash::TLCrashReporterCallbacks callbacks;
  callbacks.handleSignal = &TLCrashesLogBuffer::postCrashCallback;
  EXPECT_EQ(callbacks.version, 0);
}

}  // namespace
}  // namespace ml::beacon

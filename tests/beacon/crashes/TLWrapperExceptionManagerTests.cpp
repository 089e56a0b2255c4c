// Wrapper-exception records: correlation to reports and unreadable files.
#include <gtest/gtest.h>

#include <fstream>

#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Util/TLCrashesUtil.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

class TLWrapperExceptionManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TLWrapperExceptionManager::resetForTesting();
    TLCrashesUtil::resetDirectory();
  }
  std::shared_ptr<TLErrorReport> report(std::string id, std::uint64_t pid) {
    return std::make_shared<TLErrorReport>(id, "", "SIGABRT", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                           nullptr, pid);
  }
  TLWrapperException wrapper(std::int64_t pid) {
    TLWrapperException record;
    record.processId = pid;
    record.modelException = std::make_shared<TLException>();
    record.modelException->type = "Managed";
    return record;
  }
  ml::test::XdgSandbox sandbox_;
};

TEST_F(TLWrapperExceptionManagerTest, LastSavedGoesToFirstReportOfItsProcess) {
  TLWrapperExceptionManager::saveWrapperException(wrapper(7));
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("A", 6), report("B", 7), report("C", 7)});
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crasheswrapperexceptions/last_saved_wrapper_exception"));
  EXPECT_TRUE(TLUtilityFile::fileExistsForPathComponent("crasheswrapperexceptions/B"));
  EXPECT_TRUE(TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString("B"));
  EXPECT_FALSE(TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString("C"));
}

TEST_F(TLWrapperExceptionManagerTest, UnmatchedRecordIsDropped) {
  TLWrapperExceptionManager::saveWrapperException(wrapper(9));
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("A", 6)});
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crasheswrapperexceptions/last_saved_wrapper_exception"));
  EXPECT_FALSE(TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString("A"));
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("A", 6)});  // no file: nothing
}

TEST_F(TLWrapperExceptionManagerTest, CorruptFileIsDeletedAndReadsAsAbsent) {
  TLCrashesUtil::wrapperExceptionsDir();
  auto path = *TLUtilityFile::fullURLForPathComponent("crasheswrapperexceptions/X");
  std::ofstream(path) << "not an archive";
  EXPECT_FALSE(TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString("X"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(TLWrapperExceptionManagerTest, NamesThatLeaveTheFolderAreRefused) {
  TLWrapperExceptionManager::saveWrapperException(wrapper(1), "../escape");
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("escape"));
  EXPECT_FALSE(TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString(".."));
}

TEST_F(TLWrapperExceptionManagerTest, DeleteAllRemovesTheFolderWhichComesBackOnNextSave) {
  TLWrapperExceptionManager::saveWrapperException(wrapper(1), "A");
  TLWrapperExceptionManager::deleteAllWrapperExceptions();
  EXPECT_FALSE(TLUtilityFile::fileExistsForPathComponent("crasheswrapperexceptions"));
  TLWrapperExceptionManager::saveWrapperException(wrapper(1), "B");
  EXPECT_TRUE(TLWrapperExceptionManager::loadWrapperExceptionWithBaseFilename("B"));
}

}  // namespace
}  // namespace ml::beacon

#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"

#include <map>
#include <mutex>

#include "beacon/core/TLArchiveClasses.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "beacon/crashes/Util/TLCrashesUtil.h"

namespace ml::beacon {

namespace {

struct Unprocessed {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<TLWrapperException>> records;
};

Unprocessed& unprocessed() {
  static TLNeverDestroyed<Unprocessed> instance;
  return instance.get();
}

// A base name must stay inside the folder: no separators, no dot entries.
bool isSafeBaseName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string componentFor(const std::string& baseFilename) {
  return TLCrashesUtil::wrapperExceptionsDir() + "/" + baseFilename;
}

}  // namespace

void TLWrapperExceptionManager::saveWrapperException(const TLWrapperException& wrapperException) {
  saveWrapperException(wrapperException, kLastSavedFilename);
}

void TLWrapperExceptionManager::saveWrapperException(const TLWrapperException& wrapperException,
                                                     const std::string& baseFilename) {
  if (!isSafeBaseName(baseFilename)) return;
  auto data = TLKeyedArchiver::archivedData(wrapperException);
  if (!data) {
    TL_LOG_ERROR(kCrashesLogTag, "Could not archive wrapper exception: " << data.error().description());
    return;
  }
  TLUtilityFile::createFileAtPathComponent(componentFor(baseFilename), std::span<const std::uint8_t>(*data), true, true);
}

std::shared_ptr<TLWrapperException> TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString(
    const std::string& uuidString) {
  {
    auto& state = unprocessed();
    std::lock_guard lock(state.lock);
    auto found = state.records.find(uuidString);
    if (found != state.records.end()) return found->second;
  }
  return loadWrapperExceptionWithBaseFilename(uuidString);
}

void TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(const std::string& uuidString) {
  deleteWrapperExceptionWithBaseFilename(uuidString);
}

void TLWrapperExceptionManager::deleteAllWrapperExceptions() {
  TLUtilityFile::deleteItemForPathComponent(TLCrashesUtil::kWrapperExceptionsDir);
  // The folder is made again the next time a record is saved.
  TLCrashesUtil::resetDirectory();
}

void TLWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename) {
  if (!isSafeBaseName(baseFilename)) return;
  TLUtilityFile::deleteItemForPathComponent(componentFor(baseFilename));
}

std::shared_ptr<TLWrapperException> TLWrapperExceptionManager::loadWrapperExceptionWithBaseFilename(
    const std::string& baseFilename) {
  if (!isSafeBaseName(baseFilename)) return nullptr;
  auto data = TLUtilityFile::loadDataForPathComponent(componentFor(baseFilename));
  if (!data) return nullptr;
  registerCrashesArchiveClasses();
  auto record = TLKeyedUnarchiver::unarchivedObjectOfClass<TLWrapperException>(*data);
  if (!record) {
    TL_LOG_ERROR(kCrashesLogTag, "Could not read exception data stored on disk with file name " << baseFilename);
    deleteWrapperExceptionWithBaseFilename(baseFilename);
    return nullptr;
  }
  return *record;
}

void TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(
    const std::vector<std::shared_ptr<TLErrorReport>>& reports) {
  auto record = loadWrapperExceptionWithBaseFilename(kLastSavedFilename);
  if (!record) return;
  deleteWrapperExceptionWithBaseFilename(kLastSavedFilename);
  const auto processId = static_cast<std::uint64_t>(record->processId.value_or(0));
  for (const auto& report : reports) {
    if (!report || report->appProcessIdentifier() != processId) continue;
    if (!report->incidentIdentifier()) return;
    {
      auto& state = unprocessed();
      std::lock_guard lock(state.lock);
      state.records[*report->incidentIdentifier()] = record;
    }
    saveWrapperException(*record, *report->incidentIdentifier());
    return;
  }
}

void TLWrapperExceptionManager::resetForTesting() {
  auto& state = unprocessed();
  std::lock_guard lock(state.lock);
  state.records.clear();
}

}  // namespace ml::beacon

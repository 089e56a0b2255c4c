#pragma once
// Keeps the exceptions wrapper SDKs save at crash time, one file each in "crasheswrapperexceptions"
// under the client folder: "last_saved_wrapper_exception" for the one saved by the crashed run,
// and one named by the incident identifier of the crash report it was matched to at the next
// launch. Stored files are outside data: an unreadable one is logged, deleted and treated as
// absent. All members are static and thread-safe.
#include <memory>
#include <string>
#include <vector>

#include "beacon/crashes/Model/TLErrorReport.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperException.h"

namespace ml::beacon {

class TLWrapperExceptionManager {
 public:
  static constexpr const char* kLastSavedFilename = "last_saved_wrapper_exception";

  static void saveWrapperException(const TLWrapperException& wrapperException);
  // The record matched to the report in this process, else the one stored under that name.
  static std::shared_ptr<TLWrapperException> loadWrapperExceptionWithUUIDString(const std::string& uuidString);
  static void deleteWrapperExceptionWithUUIDString(const std::string& uuidString);
  static void deleteAllWrapperExceptions();
  // Moves the last saved record (if any) to the first report whose process id is the record's;
  // without a match the record is dropped.
  static void correlateLastSavedWrapperExceptionToReport(const std::vector<std::shared_ptr<TLErrorReport>>& reports);

  static void saveWrapperException(const TLWrapperException& wrapperException, const std::string& baseFilename);
  static void deleteWrapperExceptionWithBaseFilename(const std::string& baseFilename);
  static std::shared_ptr<TLWrapperException> loadWrapperExceptionWithBaseFilename(const std::string& baseFilename);

  // Forgets the records matched in this process (tests).
  static void resetForTesting();
};

}  // namespace ml::beacon

#include "beacon/crashes/Util/TLCrashesUtil.h"

#include <mutex>

#include "beacon/core/TLUtilityFile.h"

namespace ml::beacon {

namespace {

std::mutex folderLock;
bool crashesMade = false;
bool logBufferMade = false;
bool wrapperExceptionsMade = false;

std::string ensure(bool& made, const char* name) {
  std::lock_guard lock(folderLock);
  if (!made) {
    // A failure is logged by the file utility; the next run of the service tries again.
    made = TLUtilityFile::createDirectoryForPathComponent(name).has_value();
  }
  return name;
}

}  // namespace

std::string TLCrashesUtil::crashesDir() { return ensure(crashesMade, kCrashesDir); }
std::string TLCrashesUtil::logBufferDir() { return ensure(logBufferMade, kLogBufferDir); }
std::string TLCrashesUtil::wrapperExceptionsDir() { return ensure(wrapperExceptionsMade, kWrapperExceptionsDir); }

void TLCrashesUtil::resetDirectory() {
  std::lock_guard lock(folderLock);
  crashesMade = logBufferMade = wrapperExceptionsMade = false;
}

}  // namespace ml::beacon

#include "beacon/crashes/Internals/TLCrashesFolderClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "beacon/core/TLLogger.h"
#include "beacon/crashes/TLCrashesLog.h"

namespace ml::beacon {

TLCrashesFolderClaim::~TLCrashesFolderClaim() { release(); }

bool TLCrashesFolderClaim::tryClaim(const std::filesystem::path& lockFile) {
  if (fd_ >= 0) return true;
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  int locked = 0;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) {
    fd_ = fd;
    return true;
  }
  const int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) return false;
  if (!saidUnlockable_) {
    saidUnlockable_ = true;
    TL_LOG_WARNING(kCrashesLogTag, "Cannot lock \"" << lockFile.string() << "\" (" << std::strerror(error)
                                                     << "); this process handles the crash reports as if it were "
                                                        "the only one using the folder.");
  }
  return true;
}

// In the child, before fork returns there: closing drops the child's share of the description
// only, so the parent's claim stands.
void TLCrashesFolderClaim::giveUpInForkedChild() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TLCrashesFolderClaim::release() {
  if (fd_ < 0) return;
  ::close(fd_);  // drops the lock
  fd_ = -1;
}

}  // namespace ml::beacon

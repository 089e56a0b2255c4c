#include "beacon/crashes/Internals/TLCrashesFolderClaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

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
  const bool heldElsewhere = errno == EWOULDBLOCK;
  ::close(fd);
  return !heldElsewhere;
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

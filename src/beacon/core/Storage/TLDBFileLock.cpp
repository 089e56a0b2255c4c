#include "beacon/core/Storage/TLDBFileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "beacon/core/TLLogger.h"

namespace ml::beacon {

namespace {
constexpr off_t kFileByte = 0;
constexpr off_t kSendingByte = 1;
// The longest wait for byte 0: a creation or rebuild takes well under a second.
constexpr auto kLongestWait = std::chrono::seconds(5);
}  // namespace

TLDBFileLock::TLDBFileLock(const std::filesystem::path& database) {
  if (database.empty()) return;
  path_ = database.string() + ".lock";
  openLockFile();
}

TLDBFileLock::~TLDBFileLock() {
  if (fd_ >= 0) ::close(fd_);  // releases every lock of this object
}

void TLDBFileLock::openLockFile() {
  if (!path_.empty()) fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// In a child forked without exec, before fork returns there. Closing the inherited descriptor
// drops the child's share of the parent's locks without unlocking them; the guards other threads
// of the parent were in do not exist here.
void TLDBFileLock::reopenInForkedChild() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  openLockFile();
  holdsSending_ = false;
  guardDepth_ = 0;
}

TLDBFileLock::Outcome TLDBFileLock::setLock(short type, off_t byte, bool wait) {
  if (fd_ < 0) return Outcome::unsupported;
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::fcntl(fd_, F_OFD_SETLK, &lock) == 0) return Outcome::taken;
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EAGAIN && error != EACCES) {
      // ENOLCK, EINVAL, EOPNOTSUPP...: the file system (or the system) cannot lock this file.
      if (!saidUnsupported_) {
        saidUnsupported_ = true;
        TL_LOG_WARNING(kBeaconLogTag, "Cannot lock \"" << path_ << "\" (" << std::strerror(error)
                                                         << "); this process uses the file as if it were the only one.");
      }
      return Outcome::unsupported;
    }
    if (!wait || std::chrono::steady_clock::now() >= deadline) return Outcome::heldElsewhere;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

TLDBFileLock::Guard::Guard(TLDBFileLock* lock, Use use) : lock_(lock) {
  if (!lock_ || lock_->guardDepth_++ > 0) return;
  held_ = lock_->setLock(use == Use::configuration ? F_WRLCK : F_RDLCK, kFileByte, true) == Outcome::taken;
}

TLDBFileLock::Guard::~Guard() {
  if (!lock_) return;
  --lock_->guardDepth_;
  if (held_) lock_->setLock(F_UNLCK, kFileByte, false);
}

bool TLDBFileLock::tryHoldSending() {
  if (fd_ < 0) return true;  // nothing to agree on: alone as far as it can tell
  if (holdsSending_) return true;
  switch (setLock(F_WRLCK, kSendingByte, false)) {
    case Outcome::taken:
      holdsSending_ = true;
      return true;
    case Outcome::heldElsewhere:
      return false;
    case Outcome::unsupported:
      return true;  // alone as far as it can tell; tried again at the next load
  }
  return true;
}

void TLDBFileLock::releaseSending() {
  if (holdsSending_) setLock(F_UNLCK, kSendingByte, false);
  holdsSending_ = false;
}

}  // namespace ml::beacon

#include "beacon/core/Storage/TLDBFileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ml::beacon {

namespace {
constexpr off_t kConfigurationByte = 0;
constexpr off_t kSendingByte = 1;
}  // namespace

TLDBFileLock::TLDBFileLock(const std::filesystem::path& database) {
  if (database.empty()) return;
  const std::string path = database.string() + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

TLDBFileLock::~TLDBFileLock() {
  if (fd_ >= 0) ::close(fd_);  // releases every lock of this object
}

bool TLDBFileLock::setLock(short type, off_t byte, bool wait) {
  if (fd_ < 0) return false;
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  int rc = 0;
  do {
    rc = ::fcntl(fd_, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

TLDBFileLock::ConfigurationGuard::ConfigurationGuard(TLDBFileLock& lock) : lock_(lock) {
  held_ = lock_.setLock(F_WRLCK, kConfigurationByte, true);
}

TLDBFileLock::ConfigurationGuard::~ConfigurationGuard() {
  if (held_) lock_.setLock(F_UNLCK, kConfigurationByte, false);
}

bool TLDBFileLock::tryHoldSending() {
  if (fd_ < 0) return true;  // nothing to agree on: alone as far as it can tell
  if (!holdsSending_) holdsSending_ = setLock(F_WRLCK, kSendingByte, false);
  return holdsSending_;
}

void TLDBFileLock::releaseSending() {
  if (holdsSending_) setLock(F_UNLCK, kSendingByte, false);
  holdsSending_ = false;
}

}  // namespace ml::beacon

#include "beacon/core/Storage/TLDBFileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace ml::beacon {

namespace {
constexpr off_t kFileByte = 0;
constexpr off_t kSendingByte = 1;
// The longest wait for byte 0: a creation or rebuild takes well under a second.
constexpr auto kLongestWait = std::chrono::seconds(5);
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
  const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::fcntl(fd_, F_OFD_SETLK, &lock) == 0) return true;
    if (errno == EINTR) continue;
    if (!wait || (errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

TLDBFileLock::Guard::Guard(TLDBFileLock* lock, Use use) : lock_(lock) {
  if (!lock_ || lock_->guardDepth_++ > 0) return;
  held_ = lock_->setLock(use == Use::configuration ? F_WRLCK : F_RDLCK, kFileByte, true);
}

TLDBFileLock::Guard::~Guard() {
  if (!lock_) return;
  --lock_->guardDepth_;
  if (held_) lock_->setLock(F_UNLCK, kFileByte, false);
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

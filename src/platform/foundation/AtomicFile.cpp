#include "platform/foundation/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace ml::foundation {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the error close() gives (a delayed write failure on some file systems).
  int close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

Status makeFolders(const std::filesystem::path& folder) {
  if (folder.empty()) return {};
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return {};
  if (auto parent = folder.parent_path(); parent != folder) {
    if (auto status = makeFolders(parent); !status) return status;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return Error::posix(errno, "mkdir " + folder.string());
  return {};
}

}  // namespace

Result<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path& file, std::size_t maxSize) {
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Error::posix(errno, "open " + file.string());
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Error::posix(errno, "stat " + file.string());
  if (!S_ISREG(info.st_mode)) return Error::posix(EINVAL, "not a regular file " + file.string());
  if (static_cast<std::uint64_t>(info.st_size) > maxSize) return Error::posix(EFBIG, "read " + file.string());
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Error::posix(errno, "read " + file.string());
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > maxSize) return Error::posix(EFBIG, "read " + file.string());
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

Status writeFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> bytes, unsigned mode) {
  auto folder = file.parent_path();
  if (auto status = makeFolders(folder); !status) return status;

  std::string temporary = file.string() + ".tmp-XXXXXX";
  Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return Error::posix(errno, "create " + temporary);
  auto fail = [&](int err, const char* what) -> Status {
    ::unlink(temporary.c_str());
    return Error::posix(err, std::string(what) + " " + temporary);
  };
  if (::fchmod(fd.get(), mode) != 0) return fail(errno, "chmod");
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno, "write");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return fail(errno, "fsync");
  if (fd.close() != 0) return fail(errno, "close");
  if (::rename(temporary.c_str(), file.c_str()) != 0) return fail(errno, "rename");
  // The rename itself is durable only once the folder is synced.
  Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return {};
}

}  // namespace ml::foundation

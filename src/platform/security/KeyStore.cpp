#include "platform/security/KeyStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ml::security {

namespace fs = std::filesystem;

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

int errnoStatus(int error) { return error > 0 ? -error : -EIO; }

// Makes `path` a private directory: created with 0700 when missing; an existing one must be a
// directory of ours and is tightened to 0700 (a key store left group- or world-readable by an
// older tool or a careless copy must not stay that way).
int ensurePrivateDirectory(const fs::path& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errnoStatus(errno);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errnoStatus(errno);
  if (!S_ISDIR(st.st_mode)) return errnoStatus(ENOTDIR);
  if (st.st_uid != ::geteuid()) return KeyStore::kNotPrivate;
  if ((st.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0) return KeyStore::kNotPrivate;
  return KeyStore::kSuccess;
}

bool writeAll(int fd, ByteView value) {
  std::size_t done = 0;
  while (done < value.size()) {
    ssize_t n = ::write(fd, value.data() + done, value.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

KeyStore::KeyStore(fs::path root) : root_(std::move(root)) {}

std::string KeyStore::encodeName(std::string_view name) {
  // Letters, digits, "-", "_" and (past the first byte) "." stand for themselves; every other
  // byte becomes %XX. A lone "%" names the empty string. No encoded name contains "/" or starts
  // with ".", so none can be ".", "..", a path or one of the store's temporary files.
  if (name.empty()) return "%";
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                 (c == '.' && !out.empty());
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 0x0f]);
    }
  }
  return out;
}

int KeyStore::prepareServiceFolder(const fs::path& folder) const {
  std::error_code ec;
  fs::create_directories(root_.parent_path(), ec);  // the data folder itself keeps its own mode
  if (int status = ensurePrivateDirectory(root_); status != kSuccess) return status;
  return ensurePrivateDirectory(folder);
}

int KeyStore::write(std::string_view service, std::string_view account, ByteView value, bool replace) const {
  if (value.size() > kMaxItemSize) return errnoStatus(EFBIG);
  fs::path folder = root_ / encodeName(service);
  if (int status = prepareServiceFolder(folder); status != kSuccess) return status;

  std::string temp = (folder / ".tmp-XXXXXX").string();
  // mkstemp creates the file with mode 0600 whatever the umask.
  FileDescriptor fd(::mkstemp(temp.data()));
  if (fd.get() < 0) return errnoStatus(errno);
  bool ok = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), value) && ::fsync(fd.get()) == 0;
  int error = errno;
  if (::close(fd.release()) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return errnoStatus(error);
  }

  fs::path target = folder / encodeName(account);
  int status = kSuccess;
  if (replace) {
    if (::rename(temp.c_str(), target.c_str()) != 0) status = errnoStatus(errno);
  } else {
    // link() never replaces: of two concurrent adds exactly one succeeds.
    if (::link(temp.c_str(), target.c_str()) != 0) status = errno == EEXIST ? kDuplicateItem : errnoStatus(errno);
  }
  if (!replace || status != kSuccess) ::unlink(temp.c_str());
  return status;
}

int KeyStore::add(std::string_view service, std::string_view account, ByteView value) const {
  return write(service, account, value, false);
}

int KeyStore::set(std::string_view service, std::string_view account, ByteView value) const {
  return write(service, account, value, true);
}

std::optional<Bytes> KeyStore::copy(std::string_view service, std::string_view account, int* status) const {
  auto answer = [status](int code) {
    if (status) *status = code;
  };
  fs::path path = root_ / encodeName(service) / encodeName(account);
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) {
    answer(errno == ENOENT || errno == ENOTDIR ? kItemNotFound : errnoStatus(errno));
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    answer(kItemNotFound);
    return std::nullopt;
  }
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > kMaxItemSize) {
    answer(errnoStatus(EFBIG));
    return std::nullopt;
  }
  Bytes value(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < value.size()) {
    ssize_t n = ::read(fd.get(), value.data() + done, value.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      answer(errnoStatus(errno));
      return std::nullopt;
    }
    if (n == 0) break;  // shrank under us: answer what is there
    done += static_cast<std::size_t>(n);
  }
  value.resize(done);
  answer(kSuccess);
  return value;
}

int KeyStore::remove(std::string_view service, std::string_view account) const {
  fs::path path = root_ / encodeName(service) / encodeName(account);
  if (::unlink(path.c_str()) != 0) return errno == ENOENT || errno == ENOTDIR ? kItemNotFound : errnoStatus(errno);
  return kSuccess;
}

int KeyStore::removeAll(std::string_view service) const {
  fs::path folder = root_ / encodeName(service);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return errno == ENOENT || errno == ENOTDIR ? kItemNotFound : errnoStatus(errno);
  int removed = 0;
  int failure = kSuccess;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // ".", ".." and temporary files of writers in flight
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
      ++removed;
    else if (errno != ENOENT)
      failure = errnoStatus(errno);
  }
  ::closedir(dir);
  if (failure != kSuccess) return failure;
  return removed > 0 ? kSuccess : kItemNotFound;
}

}  // namespace ml::security

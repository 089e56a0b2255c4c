#include "appkit/FreedesktopTrash.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "appkit/trashinfo/TrashInfo.h"
#include "platform/darwin/Volumes.h"
#include "platform/foundation/AppFolders.h"

namespace ml::appkit {

namespace fs = std::filesystem;
using foundation::Error;
using foundation::Result;
using foundation::Status;

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr int kMaxNameAttempts = 10000;

// A file descriptor closed on scope exit.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool lstatOf(const fs::path& path, struct stat& info) { return ::lstat(path.c_str(), &info) == 0; }

// rename(2) that never replaces what is at `to` (which plain rename does silently, an empty
// folder included); where the file system cannot promise that, the plain rename after a check.
bool moveWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat existing {};
  if (lstatOf(to, existing)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// A trash folder we may use: a real folder (not a symlink) that belongs to the user.
bool isUsableFolder(const fs::path& path, uid_t uid) {
  struct stat info {};
  return lstatOf(path, info) && S_ISDIR(info.st_mode) && info.st_uid == uid;
}

// Makes `path` a private folder of the user, or checks the one already there.
Status makePrivateFolder(const fs::path& path, uid_t uid) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Error::posix(errno, "mkdir " + path.string());
  if (!isUsableFolder(path, uid)) return Error::posix(ENOTDIR, path.string() + " is no usable trash folder");
  return {};
}

Status makeTrashLayout(const fs::path& trash, uid_t uid) {
  for (const fs::path& folder : {trash, trash / "files", trash / "info"}) {
    if (auto status = makePrivateFolder(folder, uid); !status) return status;
  }
  return {};
}

std::string deletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Cuts `name` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string truncatedName(const std::string& name, std::size_t limit) {
  if (name.size() <= limit) return name;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string candidateName(const std::string& base, int attempt) {
  return attempt == 1 ? base : base + "." + std::to_string(attempt);
}

bool writeAll(int fd, const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// The top directory of the file system holding `folder`: the last ancestor on the same device.
fs::path topDirectoryOf(const fs::path& folder, dev_t device) {
  fs::path top = folder;
  while (top.has_parent_path() && top != top.root_path()) {
    struct stat info {};
    if (::stat(top.parent_path().c_str(), &info) != 0 || info.st_dev != device) break;
    top = top.parent_path();
  }
  return top;
}

// Adds the owner's permissions to every folder below `root`, so its contents can be deleted.
void makeFoldersWritable(const fs::path& root) {
  std::error_code ec;
  struct stat info {};
  if (!lstatOf(root, info) || !S_ISDIR(info.st_mode)) return;
  ::chmod(root.c_str(), (info.st_mode & 07777) | S_IRWXU);
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (lstatOf(it->path(), info) && S_ISDIR(info.st_mode)) ::chmod(it->path().c_str(), (info.st_mode & 07777) | S_IRWXU);
  }
}

Status removeItem(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec && (ec.value() == EACCES || ec.value() == EPERM)) {
    makeFoldersWritable(path);
    ec.clear();
    fs::remove_all(path, ec);
  }
  if (ec) return Error::posix(ec.value(), "remove " + path.string());
  return {};
}

}  // namespace

FreedesktopTrash::FreedesktopTrash() = default;

FreedesktopTrash::FreedesktopTrash(Options options) : options_(std::move(options)) {}

uid_t FreedesktopTrash::uid() const {
  return options_.uid == static_cast<uid_t>(-1) ? ::getuid() : options_.uid;
}

fs::path FreedesktopTrash::homeTrash() const {
  if (!options_.homeTrash.empty()) return options_.homeTrash;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  fs::path base = dataHome && *dataHome == '/' ? fs::path(dataHome) : foundation::AppFolders::home() / ".local/share";
  return base / "Trash";
}

std::string FreedesktopTrash::encodePath(std::string_view path) { return encodeTrashPath(path); }

std::vector<fs::path> FreedesktopTrash::mountPoints() const {
  if (options_.mountPoints) return options_.mountPoints();
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  std::vector<fs::path> points;
  for (const auto& entry : darwin::parseMountInfo(text.str())) {
    if (!darwin::isPseudoFileSystem(entry.fileSystemType)) points.push_back(entry.mountPoint);
  }
  return points;
}

Result<fs::path> FreedesktopTrash::trashFolderFor(const fs::path& item, dev_t device, fs::path& topDirectory) const {
  fs::path home = homeTrash();
  std::error_code ec;
  fs::create_directories(home.parent_path(), ec);
  if (auto status = makeTrashLayout(home, uid()); !status) return status.error();
  struct stat homeInfo {};
  if (::stat(home.c_str(), &homeInfo) != 0) return Error::posix(errno, "stat " + home.string());
  if (homeInfo.st_dev == device) {
    topDirectory.clear();
    return home;
  }

  topDirectory = topDirectoryOf(item.parent_path(), device);
  std::string uidText = std::to_string(uid());
  // Method 1: an administrator-made $topdir/.Trash, sticky and no symlink, with a folder per user.
  struct stat shared {};
  fs::path sharedTrash = topDirectory / ".Trash";
  if (lstatOf(sharedTrash, shared) && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
    fs::path mine = sharedTrash / uidText;
    if (makeTrashLayout(mine, uid())) return mine;
  }
  // Method 2: $topdir/.Trash-$uid.
  fs::path own = topDirectory / (".Trash-" + uidText);
  if (makeTrashLayout(own, uid())) return own;
  return Error::posix(EXDEV, "no Trash can be used on the volume of " + item.string());
}

Result<fs::path> FreedesktopTrash::trash(const fs::path& given) const {
  fs::path absolute = fs::absolute(given).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  std::string name = absolute.filename().string();
  if (name.empty() || name == "." || name == "..") return Error::posix(EINVAL, "cannot trash " + given.string());

  char resolved[PATH_MAX] = {};
  if (!::realpath(absolute.parent_path().c_str(), resolved)) return Error::posix(errno, "resolve " + absolute.parent_path().string());
  fs::path item = fs::path(resolved) / name;
  struct stat info {};
  if (!lstatOf(item, info)) return Error::posix(errno, "lstat " + item.string());

  fs::path topDirectory;
  auto folder = trashFolderFor(item, info.st_dev, topDirectory);
  if (!folder) return folder.error();
  fs::path trashRoot = *folder;
  // An item inside a Trash (or a Trash itself) stays: trashing it again would lose its record.
  auto relative = item.lexically_relative(trashRoot);
  if (item == trashRoot || (!relative.empty() && *relative.begin() != "..")) {
    return Error::posix(EINVAL, item.string() + " is in the Trash already");
  }
  std::string recordedPath = topDirectory.empty() ? item.string() : item.lexically_relative(topDirectory).string();

  // Leave room for ".trashinfo" and a ".NNNN" suffix within the file-name limit.
  std::string base = truncatedName(name, NAME_MAX - kInfoSuffix.size() - 6);
  std::string contents = TrashInfo{recordedPath, deletionDate()}.format();
  for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
    std::string candidate = candidateName(base, attempt);
    fs::path infoFile = trashRoot / "info" / (candidate + std::string(kInfoSuffix));
    fs::path destination = trashRoot / "files" / candidate;
    Descriptor fd(::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      return Error::posix(errno, "create " + infoFile.string());
    }
    struct stat existing {};
    if (lstatOf(destination, existing)) {
      // A file without its record: leave it and try the next name.
      ::unlink(infoFile.c_str());
      continue;
    }
    bool written = writeAll(fd.get(), contents);
    int closeResult = ::close(fd.release());
    if (!written || closeResult != 0) {
      int error = errno;
      ::unlink(infoFile.c_str());
      return Error::posix(error, "write " + infoFile.string());
    }
    if (!moveWithoutReplacing(item, destination)) {
      int error = errno;
      ::unlink(infoFile.c_str());
      // Taken meanwhile by a program that did not reserve the name: the next name.
      if (error == EEXIST || error == ENOTEMPTY) continue;
      return Error::posix(error, "move " + item.string() + " to the Trash");
    }
    return destination;
  }
  return Error::posix(EEXIST, "no free name in the Trash for " + name);
}

std::vector<fs::path> FreedesktopTrash::existingTrashFolders() const {
  std::vector<fs::path> folders;
  std::set<std::pair<dev_t, ino_t>> seen;
  auto consider = [&](const fs::path& folder) {
    struct stat info {};
    if (!isUsableFolder(folder, uid()) || ::stat(folder.c_str(), &info) != 0) return;
    if (seen.insert({info.st_dev, info.st_ino}).second) folders.push_back(folder);
  };
  consider(homeTrash());
  std::string uidText = std::to_string(uid());
  for (const fs::path& point : mountPoints()) {
    consider(point / ".Trash" / uidText);
    consider(point / (".Trash-" + uidText));
  }
  return folders;
}

Result<std::int64_t> FreedesktopTrash::count() const {
  std::int64_t total = 0;
  for (const fs::path& folder : existingTrashFolders()) {
    fs::path files = folder / "files";
    std::error_code ec;
    if (!fs::exists(files, ec)) continue;
    for (fs::directory_iterator it(files, ec), end; !ec && it != end; it.increment(ec)) ++total;
    if (ec) return Error::posix(ec.value(), "read " + files.string());
  }
  return total;
}

Status FreedesktopTrash::empty() const {
  std::optional<Error> first;
  auto note = [&](Status status) {
    if (!status && !first) first = status.error();
  };
  for (const fs::path& folder : existingTrashFolders()) {
    std::error_code ec;
    fs::path files = folder / "files";
    fs::path info = folder / "info";
    std::vector<fs::path> items;
    for (fs::directory_iterator it(files, ec), end; !ec && it != end; it.increment(ec)) items.push_back(it->path());
    if (ec && ec.value() != ENOENT) note(Error::posix(ec.value(), "read " + files.string()));
    for (const fs::path& item : items) {
      Status removed = removeItem(item);
      note(removed);
      // The record goes only with its item, so a failed item still shows in the Trash.
      if (removed) ::unlink((info / (item.filename().string() + std::string(kInfoSuffix))).c_str());
    }
    // Records whose item is gone (left by an interrupted trashing).
    ec.clear();
    for (fs::directory_iterator it(info, ec), end; !ec && it != end; it.increment(ec)) {
      std::string entry = it->path().filename().string();
      if (!entry.ends_with(kInfoSuffix)) continue;
      struct stat existing {};
      if (!lstatOf(files / entry.substr(0, entry.size() - kInfoSuffix.size()), existing)) ::unlink(it->path().c_str());
    }
    ::unlink((folder / "directorysizes").c_str());
  }
  if (first) return *first;
  return {};
}

}  // namespace ml::appkit

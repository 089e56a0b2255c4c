#include "beacon/core/TLUtilityFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>

#include "beacon/core/TLConstants.h"
#include "beacon/core/TLLogger.h"
#include "platform/foundation/AppFolders.h"

namespace ml::beacon {

namespace fs = std::filesystem;

namespace {

std::mutex& fileLock() {
  static std::mutex lock;
  return lock;
}

constexpr std::string_view kCacheDirTag =
    "Signature: 8a477f597d28d172789f06886806bc55\n"
    "# This file is a cache directory tag created by the telemetry client of Marrowlane.\n"
    "# Backup tools that honour cache directory tags skip this folder.\n";

bool writeAll(int fd, std::span<const std::uint8_t> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the whole buffer, flushed to disk, into a new temporary file beside `path`
// ("<path>.tmp-XXXXXX", mode 0600) and answers its name; nothing (with `error`) on failure, when
// no temporary file is left.
std::optional<std::string> writeTemporary(const fs::path& path, std::span<const std::uint8_t> data, std::string& error) {
  std::string written = path.string() + std::string(TLUtilityFile::kTemporaryMarker) + "XXXXXX";
  const int fd = ::mkostemp(written.data(), O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
  if (!ok) error = std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = std::strerror(errno);
  }
  if (!ok) {
    ::unlink(written.c_str());
    return std::nullopt;
  }
  return written;
}

// Writes the whole buffer to `path`: straight into the file, or into a temporary file beside it
// that is renamed over it once complete (so readers see the old or the new contents, never a mix).
// The file is left with mode 0600 either way.
bool writeFile(const fs::path& path, std::span<const std::uint8_t> data, bool atomically, std::string& error) {
  const std::string target = path.string();
  if (atomically) {
    auto written = writeTemporary(path, data, error);
    if (!written) return false;
    if (::rename(written->c_str(), target.c_str()) != 0) {
      error = std::strerror(errno);
      ::unlink(written->c_str());
      return false;
    }
    return true;
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // A file that was there already keeps its mode through O_CREAT: it is narrowed too.
  bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, data);
  if (!ok) error = std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = std::strerror(errno);
  }
  return ok;
}

// Gives the complete temporary file `written` the name `target` only while nothing holds that
// name. 0, or the errno (EEXIST: the name is taken); the temporary file is gone either way.
int publishWithoutReplacing(const std::string& written, const std::string& target) {
  int error = 0;
  if (::renameat2(AT_FDCWD, written.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  error = errno;
  if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
    // A file system without the flag: a hard link fails on an existing name just the same.
    error = ::link(written.c_str(), target.c_str()) == 0 ? 0 : errno;
  }
  ::unlink(written.c_str());
  return error;
}

bool createDirectoryUnlocked(const fs::path& url) {
  std::error_code ec;
  fs::create_directories(url, ec);
  if (ec || !fs::is_directory(url, ec)) {
    std::string reason = ec ? ec.message() : std::string("not a directory");
    TL_LOG_ERROR(kBeaconLogTag, "Couldn't create directory at " << url.string() << ": " << reason);
    return false;
  }
  return TLUtilityFile::disableBackupForDirectoryURL(url);
}

}  // namespace

fs::path TLUtilityFile::clientDirectoryURL() {
  fs::path folder = foundation::AppFolders::data() / std::string(kTLReverseDomainPrefix);
  std::error_code ec;
  if (!fs::exists(folder / std::string(kCacheDirTagName), ec)) createDirectoryUnlocked(folder);
  return folder;
}

std::optional<fs::path> TLUtilityFile::fullURLForPathComponent(std::string_view component) {
  fs::path relative{std::string(component)};
  if (relative.is_absolute() || relative.has_root_name()) return std::nullopt;
  for (const auto& step : relative) {
    if (step == "..") return std::nullopt;
  }
  return clientDirectoryURL() / relative;
}

bool TLUtilityFile::disableBackupForDirectoryURL(const fs::path& url) {
  fs::path tag = url / std::string(kCacheDirTagName);
  std::error_code ec;
  if (fs::exists(tag, ec)) return true;
  std::string error;
  if (!writeFile(tag, {reinterpret_cast<const std::uint8_t*>(kCacheDirTag.data()), kCacheDirTag.size()}, true, error)) {
    TL_LOG_ERROR(kBeaconLogTag, "Error excluding " << url.string() << " from backups " << error);
    return false;
  }
  return true;
}

bool TLUtilityFile::createDirectoryAtURL(const fs::path& url) { return createDirectoryUnlocked(url); }

std::optional<fs::path> TLUtilityFile::createFileAtPathComponent(std::string_view component,
                                                                std::optional<std::span<const std::uint8_t>> data,
                                                                bool atomically, bool forceOverwrite) {
  auto url = fullURLForPathComponent(component);
  if (!url || component.empty()) return std::nullopt;
  std::lock_guard guard(fileLock());
  std::error_code ec;
  if (!forceOverwrite && fs::exists(*url, ec)) return url;
  if (!createDirectoryUnlocked(url->parent_path())) return std::nullopt;
  std::string error;
  if (!writeFile(*url, data.value_or(std::span<const std::uint8_t>{}), atomically, error)) {
    TL_LOG_ERROR(kBeaconLogTag, "Couldn't create new file at path " << url->string());
    return std::nullopt;
  }
  return url;
}

TLUtilityFile::NewFile TLUtilityFile::createNewFileAtPathComponent(std::string_view component,
                                                                   std::span<const std::uint8_t> data) {
  NewFile result;
  auto url = fullURLForPathComponent(component);
  if (!url || component.empty()) return result;
  result.url = *url;
  std::lock_guard guard(fileLock());
  if (!createDirectoryUnlocked(url->parent_path())) return result;
  std::string error;
  auto written = writeTemporary(*url, data, error);
  if (!written) {
    TL_LOG_ERROR(kBeaconLogTag, "Couldn't create new file at path " << url->string() << ": " << error);
    return result;
  }
  const int published = publishWithoutReplacing(*written, url->string());
  if (published == EEXIST) {
    // The caller's to judge: another copy of the same data may hold the name.
    TL_LOG_DEBUG(kBeaconLogTag, "Not creating the file at path " << url->string() << ": the name is taken");
    result.status = NewFile::Status::nameTaken;
  } else if (published != 0) {
    TL_LOG_ERROR(kBeaconLogTag,
                 "Couldn't create new file at path " << url->string() << ": " << std::strerror(published));
  } else {
    result.status = NewFile::Status::created;
  }
  return result;
}

bool TLUtilityFile::deleteFileAtURL(const fs::path& url) {
  if (url.empty()) return false;
  std::lock_guard guard(fileLock());
  std::error_code ec;
  auto removed = fs::remove_all(url, ec);
  if (ec || removed == 0) {
    TL_LOG_DEBUG(kBeaconLogTag, "Couldn't remove item at " << url.string() << ": "
                                                           << (ec ? ec.message() : std::string("no such item")));
    return false;
  }
  return true;
}

bool TLUtilityFile::deleteItemForPathComponent(std::string_view component) {
  auto url = fullURLForPathComponent(component);
  if (!url || component.empty()) return false;
  return deleteFileAtURL(*url);
}

std::optional<fs::path> TLUtilityFile::createDirectoryForPathComponent(std::string_view component) {
  auto url = fullURLForPathComponent(component);
  if (!url || component.empty()) return std::nullopt;
  std::lock_guard guard(fileLock());
  if (!createDirectoryUnlocked(*url)) return std::nullopt;
  return url;
}

std::optional<TLUtilityFile::Data> TLUtilityFile::loadDataForPathComponent(std::string_view component) {
  auto url = fullURLForPathComponent(component);
  if (!url || component.empty()) return std::nullopt;
  std::lock_guard guard(fileLock());
  std::ifstream in(*url, std::ios::binary);
  if (!in) return std::nullopt;
  Data data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return data;
}

std::optional<std::vector<fs::path>> TLUtilityFile::contentsOfDirectory(std::string_view component) {
  if (component.empty()) return std::nullopt;
  auto url = fullURLForPathComponent(component);
  if (!url) return std::nullopt;
  std::lock_guard guard(fileLock());
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(*url, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  if (ec) {
    TL_LOG_DEBUG(kBeaconLogTag, "Couldn't get files in the directory \"" << component << "\": " << ec.message());
    return std::nullopt;
  }
  return entries;
}

bool TLUtilityFile::fileExistsForPathComponent(std::string_view component) {
  auto url = fullURLForPathComponent(component);
  if (!url) return false;
  std::error_code ec;
  return fs::exists(*url, ec);
}

}  // namespace ml::beacon

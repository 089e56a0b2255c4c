#include "platform/darwin/StorableDates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace ml::darwin {

using foundation::Error;
using foundation::Result;
using foundation::Status;

bool StorableDates::contains(Date date) const {
  const auto t = timespecOf(date);
  return t && t->tv_sec >= lowestSecond && t->tv_sec <= highestSecond;
}

Status StorableDates::check(std::span<const Date> dates) const {
  for (const Date date : dates) {
    if (contains(date)) continue;
    const auto t = timespecOf(date);
    const std::string shown = t ? utcText(t->tv_sec) : decimalNanoseconds(date) + " ns after 1970-01-01 00:00:00 UTC";
    return Error::posix(ERANGE, "the date " + shown + " is outside what this item's volume can store (" +
                                    utcText(lowestSecond) + " to " + utcText(highestSecond) + ")");
  }
  return {};
}

Result<StorableDates> storableDates(const std::filesystem::path& item) {
  struct stat self {};
  if (::lstat(item.c_str(), &self) != 0) return Error::posix(errno, "lstat " + item.string());
  std::filesystem::path folder = S_ISDIR(self.st_mode) ? item : item.parent_path();
  if (folder.empty()) folder = ".";

  const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return Error::posix(errno, "probe the dates of " + folder.string());
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat probe {};
  if (::fstat(fd, &probe) != 0) return Error::posix(errno);
  if (probe.st_dev != self.st_dev) return Error::posix(EXDEV, "probe the dates of " + item.string());
  // Out-of-range seconds are clamped to the nearest end (and their nanoseconds dropped).
  const timespec extremes[2] = {{std::numeric_limits<time_t>::max(), 0}, {std::numeric_limits<time_t>::min(), 0}};
  if (::futimens(fd, extremes) != 0) return Error::posix(errno, "probe the dates of " + folder.string());
  struct stat ends {};
  if (::fstat(fd, &ends) != 0) return Error::posix(errno);
  return StorableDates{static_cast<int64_t>(ends.st_mtim.tv_sec), static_cast<int64_t>(ends.st_atim.tv_sec)};
}

}  // namespace ml::darwin

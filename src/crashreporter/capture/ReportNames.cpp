#include "crashreporter/capture/ReportNames.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ml::crash {
namespace {

constexpr std::string_view kReportPrefix = "live_report.";
constexpr std::string_view kReportSuffix = ".tlcrash";
constexpr std::string_view kPartialPrefix = ".live_report.";
constexpr std::string_view kPartialSuffix = ".partial";

bool hasIdBetween(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() > prefix.size() + suffix.size() && name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - suffix.size()) == suffix;
}

uint64_t randomBits() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof(bits), GRND_NONBLOCK) == static_cast<ssize_t>(sizeof(bits))) return bits;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<uint64_t>(now.tv_sec) << 30) ^ static_cast<uint64_t>(now.tv_nsec) ^
         (static_cast<uint64_t>(::getpid()) << 40) ^ reinterpret_cast<uintptr_t>(&bits);
}

struct Listed {
  std::string path;
  timespec modified;
};

}  // namespace

std::string tlcrash_nasync_new_report_id() {
  char id[40];
  std::snprintf(id, sizeof(id), "%x-%016llx", static_cast<unsigned>(::getpid()),
                static_cast<unsigned long long>(randomBits()));
  return id;
}

std::string tlcrash_nasync_report_file_name(const std::string& id) {
  return std::string(kReportPrefix) + id + std::string(kReportSuffix);
}

std::string tlcrash_nasync_partial_report_file_name(const std::string& id) {
  return std::string(kPartialPrefix) + id + std::string(kPartialSuffix);
}

bool tlcrash_nasync_is_report_file_name(std::string_view name) {
  return name == kPendingReportName || hasIdBetween(name, kReportPrefix, kReportSuffix);
}

bool tlcrash_nasync_is_partial_report_file_name(std::string_view name) {
  return hasIdBetween(name, kPartialPrefix, kPartialSuffix);
}

std::vector<std::string> tlcrash_nasync_list_reports(const std::string& folder) {
  std::vector<Listed> found;
  if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      if (!tlcrash_nasync_is_report_file_name(entry->d_name)) continue;
      std::string path = folder + "/" + entry->d_name;
      struct stat info{};
      // lstat: a link named like a report could point anywhere, and its target would be sent.
      if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      found.push_back({std::move(path), info.st_mtim});
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end(), [](const Listed& a, const Listed& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec < b.modified.tv_sec;
    if (a.modified.tv_nsec != b.modified.tv_nsec) return a.modified.tv_nsec < b.modified.tv_nsec;
    return a.path < b.path;
  });
  std::vector<std::string> paths;
  paths.reserve(found.size());
  for (Listed& listed : found) paths.push_back(std::move(listed.path));
  return paths;
}

int tlcrash_nasync_remove_stale_partial_reports(const std::string& folder, std::chrono::seconds age) {
  int removed = 0;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    if (!tlcrash_nasync_is_partial_report_file_name(entry->d_name)) continue;
    const std::string path = folder + "/" + entry->d_name;
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (now - info.st_mtim.tv_sec <= age.count()) continue;  // may be another process's, still writing
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace ml::crash

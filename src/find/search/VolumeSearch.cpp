#include "find/search/VolumeSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "files/FileSystem.h"
#include "find/search/ItemFilter.h"
#include "platform/darwin/FinderInfo.h"
#include "platform/logging/Log.h"

namespace ml::find {
namespace {

// The record layout getdents64 fills (the kernel's linux_dirent64): inode (8 bytes), offset (8),
// record length (2), type (1), then the name with its terminating zero, padded to 8 bytes.
constexpr size_t kRecordLengthOffset = 16;
constexpr size_t kTypeOffset = 18;
constexpr size_t kNameOffset = 19;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { if (fd_ >= 0) ::close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
 private:
  int fd_;
};

uint16_t finderFlagsOf(const std::string& path) {
  auto info = darwin::readFinderInfo(path);
  if (!info || !info->has_value()) return 0;
  return (*info)->flags();
}

// Work shared by the walker threads and the delivering body. Guarded by `mutex`.
struct Walk {
  Walk(ItemFilter f, dev_t d) : filter(std::move(f)), device(d) {}
  const ItemFilter filter;
  const dev_t device;
  std::shared_ptr<const files::FileSystem> fileSystem = files::FileSystems::defaultFileSystem();

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> folders;  // waiting to be listed; a stack keeps memory to the tree's depth
  int busy = 0;                      // walkers listing a folder right now
  bool stop = false;                 // cancelled: walkers leave at the next folder
  int walkersLeft = 0;
  std::vector<files::Path> found;    // kept items not yet handed on
  bool intervalPassed = false;       // set by the clock's callback
};

void listFolder(Walk& walk, const std::string& folder, std::vector<std::string>& subfolders,
                std::vector<files::Path>& kept) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    LOG_DEBUG("search skips an unreadable folder. path=" << folder << " error=" << std::strerror(errno));
    return;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || st.st_dev != walk.device) return;  // a mount point: another volume

  alignas(8) std::array<char, 64 * 1024> buffer;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  for (;;) {
    long count = ::syscall(SYS_getdents64, fd.get(), buffer.data(), buffer.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      LOG_DEBUG("search stops listing a folder. path=" << folder << " error=" << std::strerror(errno));
      return;
    }
    if (count == 0) return;
    for (long offset = 0; offset < count;) {
      const char* record = buffer.data() + offset;
      uint16_t recordLength = 0;
      std::memcpy(&recordLength, record + kRecordLengthOffset, sizeof recordLength);
      if (recordLength == 0) break;  // never from a sane kernel; guards the loop
      offset += recordLength;
      const char* entryName = record + kNameOffset;
      std::string_view name(entryName);
      if (name == "." || name == "..") continue;
      auto type = static_cast<unsigned char>(record[kTypeOffset]);
      if (type == DT_UNKNOWN) {  // some file systems leave the type to a stat
        struct stat entry {};
        if (::fstatat(fd.get(), entryName, &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(entry.st_mode) ? DT_DIR : S_ISLNK(entry.st_mode) ? DT_LNK : DT_REG;
      }
      FoundEntry item{name, type == DT_DIR, type == DT_LNK, 0};
      std::string path = prefix;
      path.append(name);
      if (walk.filter.needsFinderInfo() || (item.isDirectory && walk.filter.needsFolderFinderInfo()))
        item.finderFlags = finderFlagsOf(path);
      if (walk.filter.descendsInto(item)) subfolders.push_back(path);
      if (walk.filter.accepts(item)) kept.emplace_back(walk.fileSystem, std::move(path));
    }
  }
}

void walker(Walk& walk) {
  std::vector<std::string> subfolders;
  std::vector<files::Path> kept;
  std::unique_lock lock(walk.mutex);
  for (;;) {
    walk.changed.wait(lock, [&] { return walk.stop || !walk.folders.empty() || walk.busy == 0; });
    if (walk.stop || (walk.folders.empty() && walk.busy == 0)) break;
    std::string folder = std::move(walk.folders.back());
    walk.folders.pop_back();
    ++walk.busy;
    lock.unlock();
    listFolder(walk, folder, subfolders, kept);
    lock.lock();
    --walk.busy;
    walk.folders.insert(walk.folders.end(), std::make_move_iterator(subfolders.begin()),
                        std::make_move_iterator(subfolders.end()));
    walk.found.insert(walk.found.end(), std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
    subfolders.clear();
    kept.clear();
    walk.changed.notify_all();
  }
  --walk.walkersLeft;
  walk.changed.notify_all();
}

int walkerCount(int requested) {
  if (requested > 0) return requested;
  unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 8u));
}

void run(const dispatch::Operation& operation, const files::Path& folder, const SearchDescriptor& criteria,
         const BatchHandler& handler, const SearchSettings& settings) {
  dispatch::Clock& clock = settings.clock ? *settings.clock : dispatch::Clock::system();
  const std::string start = folder.description();
  FileDescriptor root(::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (root.get() < 0 || ::fstat(root.get(), &st) != 0) {
    LOG_ERROR("search failed to open its start folder. path=" << start << " error=" << std::strerror(errno));
    return;
  }
  if (!criteria.includePackageContents) LOG_DEBUG("skipping packages");
  if (criteria.invisible == false) LOG_DEBUG("skipping invisible");

  auto walk = std::make_shared<Walk>(ItemFilter(criteria), st.st_dev);
  walk->folders.push_back(start);
  const int threads = walkerCount(settings.walkerThreads);
  walk->walkersLeft = threads;
  std::vector<std::jthread> walkers;
  walkers.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) walkers.emplace_back([walk] { walker(*walk); });

  bool deliveredAny = false;
  dispatch::TimerToken timer;
  // Cancellation is only polled (an operation does not announce it), so the body wakes now and
  // then to look; this is not the batching interval.
  constexpr auto kCancelPoll = std::chrono::milliseconds(20);
  std::unique_lock lock(walk->mutex);
  for (;;) {
    bool finished = walk->walkersLeft == 0;
    if (!finished && operation.isCancelled()) {
      walk->stop = true;
      walk->changed.notify_all();
      walk->changed.wait(lock, [&] { return walk->walkersLeft == 0; });
      finished = true;
    }
    bool due = !deliveredAny || walk->intervalPassed;
    if (!walk->found.empty() && (due || finished)) {
      std::vector<files::Path> batch = std::move(walk->found);
      walk->found.clear();
      walk->intervalPassed = false;
      deliveredAny = true;
      lock.unlock();
      clock.cancel(timer);
      timer = clock.schedule(settings.batchInterval, [walk] {
        std::lock_guard guard(walk->mutex);
        walk->intervalPassed = true;
        walk->changed.notify_all();
      });
      handler(std::move(batch));
      lock.lock();
      continue;
    }
    if (finished) break;
    walk->changed.wait_for(lock, kCancelPoll);
  }
  lock.unlock();
  clock.cancel(timer);
  walkers.clear();  // joins (they have all left their loop)
}

}  // namespace

std::shared_ptr<dispatch::Operation> executeSearch(files::Path folder, SearchDescriptor criteria, BatchHandler handler,
                                                   SearchSettings settings) {
  return dispatch::Operation::make(
      [folder = std::move(folder), criteria = std::move(criteria), handler = std::move(handler),
       settings](const dispatch::Operation& operation) { run(operation, folder, criteria, handler, settings); });
}

}  // namespace ml::find

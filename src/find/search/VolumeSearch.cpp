#include "find/search/VolumeSearch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "files/FileSystem.h"
#include "find/search/ItemFilter.h"
#include "platform/darwin/FinderInfo.h"
#include "platform/darwin/FolderReader.h"
#include "platform/logging/Log.h"

namespace ml::find {
namespace {

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
  auto reader = darwin::FolderReader::open(folder, darwin::FolderReader::Links::refuse);
  if (!reader) {
    LOG_DEBUG("search skips an unreadable folder. path=" << folder << " error=" << reader.error().message);
    return;
  }
  if (reader->device() != walk.device) return;  // a mount point: another volume

  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  auto listed = reader->forEachEntry([&](const darwin::FolderEntry& entry) {
    const bool isDirectory = entry.kind == darwin::EntryKind::directory;
    FoundEntry item{entry.name, isDirectory, entry.kind == darwin::EntryKind::symbolicLink, 0};
    std::string path = prefix;
    path.append(entry.name);
    if (walk.filter.needsFinderInfo() || (isDirectory && walk.filter.needsFolderFinderInfo()))
      item.finderFlags = finderFlagsOf(path);
    if (walk.filter.descendsInto(item)) subfolders.push_back(path);
    if (walk.filter.accepts(item)) kept.emplace_back(walk.fileSystem, std::move(path));
  });
  if (!listed) LOG_DEBUG("search stops listing a folder. path=" << folder << " error=" << listed.error().message);
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
    // A full batch waits for the body to take it: the walk never runs far ahead of delivery.
    walk.changed.wait(lock, [&] { return walk.stop || walk.found.size() < 4 * kMaxBatch; });
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
  auto root = darwin::FolderReader::open(start, darwin::FolderReader::Links::follow);
  if (!root) {
    LOG_ERROR("search failed to open its start folder. path=" << start << " error=" << root.error().message);
    return;
  }
  if (!criteria.includePackageContents) LOG_DEBUG("skipping packages");
  if (criteria.invisible == false) LOG_DEBUG("skipping invisible");

  auto walk = std::make_shared<Walk>(ItemFilter(criteria), root->device());
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
    bool due = !deliveredAny || walk->intervalPassed || walk->found.size() >= kMaxBatch;
    if (!walk->found.empty() && (due || finished)) {
      std::vector<files::Path> batch = std::move(walk->found);
      walk->found.clear();
      walk->intervalPassed = false;
      deliveredAny = true;
      walk->changed.notify_all();  // walkers waiting for room go on
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

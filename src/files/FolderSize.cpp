#include "files/FolderSize.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/FolderReader.h"
#include "platform/logging/ErrnoText.h"
#include "platform/logging/Log.h"

namespace ml::files {

namespace {

constexpr const char* kResourceFork = "com.apple.ResourceFork";
// The walk is bound by system calls on a warm cache, which scale with cores; more helpers than
// this only contend on the queue.
constexpr unsigned kMaxWalkers = 8;

// Items met so far, by device and inode, shared by the walkers. Used twice: for the folders
// listed (a folder met again, through a bind mount of an ancestor or of anything else, is not
// listed twice) and for inodes with more than one hard link (counted once in the allocated total
// however many names they have below the folder, as du counts them).
class SeenInodes {
 public:
  // True the first time an item is offered.
  bool firstSight(dev_t device, ino_t inode) {
    std::lock_guard lock(mutex_);
    return seen_.insert({device, inode}).second;
  }

 private:
  std::mutex mutex_;
  std::set<std::pair<dev_t, ino_t>> seen_;
};

struct Folder {
  std::string path;
  bool isRoot = false;  // the folder asked about: a link there is followed
};

// Folders waiting to be listed, shared by the walkers. A walker takes one, lists it, adds its
// files to its own totals and queues its sub-folders. The walk ends when the queue is empty
// and no walker is listing a folder (which could still queue more).
class WorkQueue {
 public:
  void push(Folder folder) {
    {
      std::lock_guard lock(mutex_);
      folders_.push_back(std::move(folder));
    }
    wake_.notify_one();
  }

  // The next folder, or nullopt when the walk is over or stopped. `finishedOne` reports that the
  // caller's previous folder is done. A stopped walk drops what is queued and ends when no
  // walker is listing any more.
  std::optional<Folder> next(bool finishedOne, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    if (finishedOne) --busy_;
    if (stop.stop_requested()) folders_.clear();
    wake_.wait(lock, [&] { return !folders_.empty() || busy_ == 0; });
    if (folders_.empty()) {
      wake_.notify_all();
      return std::nullopt;
    }
    Folder f = std::move(folders_.back());  // depth first keeps the queue short
    folders_.pop_back();
    ++busy_;
    return f;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Folder> folders_;
  int busy_ = 0;
};

struct Walk {
  WorkQueue queue;
  SeenInodes linked;  // inodes with more than one hard link
  SeenInodes listed;  // folders
  std::stop_token stop;
  FolderWalk what = FolderWalk::sizesAndCounts;
};

void listFolder(const Folder& folder, Walk& walk, FolderTotals& totals) {
  using darwin::EntryKind;
  const std::string shown = folder.path.empty() ? "/" : folder.path;
  auto reader = darwin::FolderReader::open(shown, folder.isRoot ? darwin::FolderReader::Links::follow
                                                                : darwin::FolderReader::Links::refuse);
  if (!reader) {
    totals.noteUnreadable(shown, logging::errnoText(reader.error().code));
    return;
  }
  if (!walk.listed.firstSight(reader->device(), reader->inode())) return;
  totals.allocated += reader->allocatedSize();
  std::string path = folder.path;
  path += '/';
  const size_t base = path.size();
  auto listed = reader->forEachEntry([&](const darwin::FolderEntry& entry) {
    // The rest of a stopped listing is skipped; the listing itself cannot be broken off.
    if (walk.stop.stop_requested()) return;
    path.resize(base);
    path += entry.name;
    if (entry.kind == EntryKind::directory) {
      ++totals.folders;
      walk.queue.push({path, false});  // its blocks are counted when it is listed
      return;
    }
    // Counted as listed: one that goes before its sizes are read was still there.
    const bool regular = entry.kind == EntryKind::regular;
    ++(regular ? totals.files : totals.others);
    if (walk.what == FolderWalk::countsOnly) return;
    // Links and other items take blocks too (du counts them); only files have a size here.
    const auto sizes = reader->sizesOf(entry.name);
    if (!sizes) return;
    if (sizes->links <= 1 || walk.linked.firstSight(reader->device(), sizes->inode)) totals.allocated += sizes->allocated;
    if (!regular) return;
    totals.bytes += sizes->size;
    if (auto fork = darwin::extendedAttributeSize(path.c_str(), kResourceFork))
      totals.bytes += static_cast<int64_t>(*fork);
  });
  // A folder whose listing broke off counts as unreadable; what was listed before still counts.
  if (!listed) totals.noteUnreadable(shown, logging::errnoText(listed.error().code));
}

void walkFolders(Walk& walk, FolderTotals& totals) {
  bool finished = false;
  while (auto folder = walk.queue.next(finished, walk.stop)) {
    listFolder(*folder, walk, totals);
    finished = true;
  }
}

}  // namespace

void FolderTotals::add(const FolderTotals& part) {
  bytes += part.bytes;
  allocated += part.allocated;
  files += part.files;
  others += part.others;
  folders += part.folders;
  unreadable += part.unreadable;
  for (const auto& named : part.unreadableNamed) {
    if (unreadableNamed.size() >= kNamedUnreadable) break;
    unreadableNamed.push_back(named);
  }
}

void FolderTotals::noteUnreadable(std::string path, std::string_view reason) {
  ++unreadable;
  if (unreadableNamed.size() >= kNamedUnreadable) return;
  path += " (";
  path += reason;
  path += ')';
  unreadableNamed.push_back(std::move(path));
}

// A warning, not an error: a walk over folders of other users meets many it may not read, and
// its totals are still the best answer there is.
void logUnreadableFolders(const std::string& folder, const FolderTotals& totals) {
  if (totals.unreadable == 0) return;
  std::string named;
  for (const auto& one : totals.unreadableNamed) {
    if (!named.empty()) named += ", ";
    named += one;
  }
  const int64_t rest = totals.unreadable - static_cast<int64_t>(totals.unreadableNamed.size());
  if (rest > 0) named += " and " + std::to_string(rest) + " more";
  LOG_WARNING("could not list " << totals.unreadable << (totals.unreadable == 1 ? " folder" : " folders")
                                << " while walking " << folder << ": " << named);
}

FolderTotals folderTotals(const std::filesystem::path& folder, std::stop_token stop, FolderWalk what) {
  std::string root = folder.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") root.clear();

  Walk walk;
  walk.stop = std::move(stop);
  walk.what = what;
  walk.queue.push({root, true});
  const unsigned helpers = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWalkers) - 1;
  std::vector<FolderTotals> partial(helpers + 1);
  {
    std::vector<std::jthread> threads;
    threads.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i) threads.emplace_back([&walk, &partial, i] { walkFolders(walk, partial[i + 1]); });
    walkFolders(walk, partial[0]);
  }
  FolderTotals totals;
  totals.stopped = walk.stop.stop_requested();
  for (const auto& p : partial) totals.add(p);
  logUnreadableFolders(folder.string(), totals);
  return totals;
}

}  // namespace ml::files

#include "files/FolderSize.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/FolderReader.h"

namespace ml::files {

namespace {

constexpr const char* kResourceFork = "com.apple.ResourceFork";
// The walk is bound by system calls on a warm cache, which scale with cores; more helpers than
// this only contend on the queue.
constexpr unsigned kMaxWalkers = 8;

// The chain of folders from the walk's root down to one folder: a folder whose identity is
// already on its own chain is an ancestor met again (a bind mount) and is not walked.
struct Chain {
  dev_t device;
  ino_t inode;
  std::shared_ptr<const Chain> parent;

  bool contains(dev_t d, ino_t i) const {
    for (const Chain* c = this; c; c = c->parent.get())
      if (c->device == d && c->inode == i) return true;
    return false;
  }
};

struct Folder {
  std::string path;
  std::shared_ptr<const Chain> chain;  // of the folder's parent
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

  // The next folder, or nullopt when the walk is over. `finishedOne` reports that the caller's
  // previous folder is done.
  std::optional<Folder> next(bool finishedOne) {
    std::unique_lock lock(mutex_);
    if (finishedOne) --busy_;
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

// Inodes with more than one hard link, counted once in the allocated total however many
// names they have below the folder (as du counts them). Shared by the walkers.
class LinkedInodes {
 public:
  // True the first time an inode is offered.
  bool firstSight(dev_t device, ino_t inode) {
    std::lock_guard lock(mutex_);
    return seen_.insert({device, inode}).second;
  }

 private:
  std::mutex mutex_;
  std::set<std::pair<dev_t, ino_t>> seen_;
};

void listFolder(const Folder& folder, WorkQueue& queue, LinkedInodes& linked, FolderTotals& totals) {
  using darwin::EntryKind;
  auto reader = darwin::FolderReader::open(folder.path.empty() ? "/" : folder.path,
                                           folder.chain ? darwin::FolderReader::Links::refuse
                                                        : darwin::FolderReader::Links::follow);
  if (!reader) {
    ++totals.unreadable;
    return;
  }
  if (folder.chain && folder.chain->contains(reader->device(), reader->inode())) return;
  auto chain = std::make_shared<const Chain>(Chain{reader->device(), reader->inode(), folder.chain});
  totals.allocated += reader->allocatedSize();
  std::string path = folder.path;
  path += '/';
  const size_t base = path.size();
  auto listed = reader->forEachEntry([&](const darwin::FolderEntry& entry) {
    path.resize(base);
    path += entry.name;
    if (entry.kind == EntryKind::directory) {
      queue.push({path, chain});  // its blocks are counted when it is listed
      return;
    }
    // Links and other items take blocks too (du counts them); only files have a size here.
    const auto sizes = reader->sizesOf(entry.name);
    if (!sizes) return;
    if (sizes->links <= 1 || linked.firstSight(reader->device(), sizes->inode)) totals.allocated += sizes->allocated;
    if (entry.kind != EntryKind::regular) return;
    totals.bytes += sizes->size;
    ++totals.files;
    if (auto fork = darwin::extendedAttributeSize(path.c_str(), kResourceFork))
      totals.bytes += static_cast<int64_t>(*fork);
  });
  // A folder whose listing broke off counts as unreadable; what was listed before still counts.
  if (!listed) ++totals.unreadable;
}

void walk(WorkQueue& queue, LinkedInodes& linked, FolderTotals& totals) {
  bool finished = false;
  while (auto folder = queue.next(finished)) {
    listFolder(*folder, queue, linked, totals);
    finished = true;
  }
}

}  // namespace

FolderTotals folderTotals(const std::filesystem::path& folder) {
  std::string root = folder.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") root.clear();

  WorkQueue queue;
  LinkedInodes linked;
  queue.push({root, nullptr});
  const unsigned helpers = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWalkers) - 1;
  std::vector<FolderTotals> partial(helpers + 1);
  {
    std::vector<std::jthread> threads;
    threads.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i) threads.emplace_back([&queue, &linked, &partial, i] { walk(queue, linked, partial[i + 1]); });
    walk(queue, linked, partial[0]);
  }
  FolderTotals totals;
  for (const auto& p : partial) {
    totals.bytes += p.bytes;
    totals.allocated += p.allocated;
    totals.files += p.files;
    totals.unreadable += p.unreadable;
  }
  return totals;
}

}  // namespace ml::files

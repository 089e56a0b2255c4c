#include "list/rows/RowBatches.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "list/rows/PathListItem.h"

namespace ml::list {

namespace {

using Row = std::shared_ptr<PathListItem>;

// The work of one call, shared with the workers it asked for. Chunks are handed out under the
// mutex, and a chunk's rows are written only by the thread that took it, then published by
// marking it done under the mutex. The pointers name the caller's arguments: they are used only
// by a thread holding a chunk, and the caller returns only once no chunk is held, so a worker
// that starts late finds nothing left and touches nothing else.
struct Building {
  Building(const PathPack& p, const std::function<bool()>& k,
           const std::shared_ptr<shell::UsageEvents>& u)
      : paths(&p),
        keepGoing(&k),
        usage(&u),
        chunkCount((p.size() + kRowsPerChunk - 1) / kRowsPerChunk),
        done(chunkCount, 0),
        rows(p.size()) {}

  const PathPack* paths;
  const std::function<bool()>* keepGoing;
  const std::shared_ptr<shell::UsageEvents>* usage;
  const std::size_t chunkCount;

  std::mutex mutex;
  std::condition_variable chunkDone;
  std::size_t nextChunk = 0;  // the first chunk nobody has taken
  std::size_t held = 0;       // chunks taken and not done
  bool stopped = false;       // keepGoing said no
  std::vector<char> done;     // per chunk
  std::vector<Row> rows;      // one per path

  // The next chunk for the calling thread, or nothing when none is left.
  std::optional<std::size_t> take() {
    std::lock_guard lock(mutex);
    if (stopped || nextChunk >= chunkCount) return std::nullopt;
    ++held;
    return nextChunk++;
  }

  // Builds the rows of a chunk taken, then marks it done.
  void build(std::size_t chunk, SharedTexts& texts) {
    const std::size_t first = chunk * kRowsPerChunk;
    const std::size_t end = std::min(first + kRowsPerChunk, paths->size());
    bool stop = false;
    for (std::size_t i = first; i < end; ++i) {
      if (*keepGoing && !(*keepGoing)()) {
        stop = true;
        break;
      }
      rows[i] = PathListItem::make((*paths)[i], *usage, &texts);
    }
    {
      std::lock_guard lock(mutex);
      done[chunk] = 1;
      --held;
      if (stop) stopped = true;
    }
    chunkDone.notify_all();
  }
};

void helpBuilding(Building& work) {
  SharedTexts texts;
  while (auto chunk = work.take()) work.build(*chunk, texts);
}

}  // namespace

void buildRowsInBatches(const PathPack& paths, dispatch::Clock& clock,
                        const std::function<void(std::vector<std::shared_ptr<PathListItem>>)>& deliver,
                        const std::function<bool()>& keepGoing, const std::shared_ptr<shell::UsageEvents>& usage,
                        dispatch::GlobalPool* helpers) {
  if (paths.empty()) return;
  auto work = std::make_shared<Building>(paths, keepGoing, usage);
  if (helpers && work->chunkCount > 1) {
    const std::size_t builders = std::min({kMaxRowBuilders, helpers->threadCount() + 1, work->chunkCount});
    for (std::size_t i = 1; i < builders; ++i) helpers->async([work] { helpBuilding(*work); });
  }

  SharedTexts texts;
  const auto started = clock.now();
  auto lastBatch = started;
  bool first = true;
  std::size_t delivered = 0;   // rows handed out
  std::size_t readyChunks = 0;  // the chunks done without a gap from the first
  for (;;) {
    bool stopped = false;
    {
      std::lock_guard lock(work->mutex);
      while (readyChunks < work->chunkCount && work->done[readyChunks]) ++readyChunks;
      stopped = work->stopped;
    }
    if (stopped) break;
    const std::size_t ready = std::min(readyChunks * kRowsPerChunk, paths.size());
    const bool allBuilt = readyChunks == work->chunkCount;
    const auto now = clock.now();
    const bool due = first ? (ready - delivered >= kFirstBatchRows || now - started >= kFirstBatchDelay)
                           : now - lastBatch >= kBatchInterval;
    if (ready > delivered && (due || allBuilt)) {
      // The first batch is the first rows only, however many are built by then: the window shows
      // them at once and takes the rest with the next batch.
      const std::size_t upTo = first ? std::min(ready, delivered + kFirstBatchRows) : ready;
      std::vector<Row> batch(std::make_move_iterator(work->rows.begin() + static_cast<std::ptrdiff_t>(delivered)),
                             std::make_move_iterator(work->rows.begin() + static_cast<std::ptrdiff_t>(upTo)));
      delivered = upTo;
      deliver(std::move(batch));
      lastBatch = clock.now();
      first = false;
      continue;
    }
    if (allBuilt) break;
    // Nothing to hand out yet: build what nobody has taken, else wait for the next chunk (a
    // while at most, so that a batch falls due on time).
    if (auto chunk = work->take()) {
      work->build(*chunk, texts);
      continue;
    }
    std::unique_lock lock(work->mutex);
    work->chunkDone.wait_for(lock, std::chrono::milliseconds(20),
                             [&] { return work->stopped || work->done[readyChunks]; });
  }
  // Stopped: no chunk is handed out any more, and the ones being built are waited for, since
  // they read the caller's paths.
  std::unique_lock lock(work->mutex);
  work->nextChunk = work->chunkCount;
  work->chunkDone.wait(lock, [&] { return work->held == 0; });
}

}  // namespace ml::list

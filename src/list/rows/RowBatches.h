#pragma once
// Builds rows for many paths and hands them out in batches, the way a folder listing reaches a
// view: the first batch as soon as it holds kFirstBatchRows rows or kFirstBatchDelay has passed
// (so the window fills at once), then at most one batch per kBatchInterval (so inserting rows and
// laying out the outline never crowd out the building), and the rest at the end. Both limits are
// checked as rows are built, against `clock`.
//
// Building a row waits on the file system (attributes, kind), so the paths are built in chunks
// by the calling thread and, for more than one chunk, by workers of `helpers` as well; the
// batches still come out in path order, on the calling thread only. The caller builds whatever
// no worker has taken, so the call finishes however busy the pool is, and it returns only once
// no worker touches its paths any more.
//
// Blocking (it reads the file system for every row); run it off the main thread.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "list/rows/PathPack.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"
#include "shell/core/Telemetry.h"

namespace ml::list {

class PathListItem;

inline constexpr std::size_t kFirstBatchRows = 100;
inline constexpr auto kFirstBatchDelay = std::chrono::milliseconds(100);
inline constexpr auto kBatchInterval = std::chrono::milliseconds(500);

// Rows built by one thread in one go: enough to make handing out the work cheap, few enough that
// the first batch comes early.
inline constexpr std::size_t kRowsPerChunk = 128;

// At most this many threads build the rows of one call (the caller included): the disk gains
// little from more, and the rest of the application keeps a worker.
inline constexpr std::size_t kMaxRowBuilders = 6;

// Calls `deliver` with each batch, in order; every path gets exactly one row. `keepGoing`, when
// given, is asked before each row (on any of the building threads, so it must be safe to call
// from several at once): false stops the building (nothing more is delivered). The rows report
// unreadable items to `usage` (see PathListItem::make). `helpers` null builds on the calling
// thread alone.
void buildRowsInBatches(const PathPack& paths, dispatch::Clock& clock,
                        const std::function<void(std::vector<std::shared_ptr<PathListItem>>)>& deliver,
                        const std::function<bool()>& keepGoing = {},
                        const std::shared_ptr<shell::UsageEvents>& usage = nullptr,
                        dispatch::GlobalPool* helpers = &dispatch::GlobalPool::shared());

}  // namespace ml::list

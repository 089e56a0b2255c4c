#pragma once
// The catalogue search of one volume: a parallel walk of the start folder's tree (darwin's
// FolderReader: entry kinds from the listing) that never crosses to another device and never
// follows a symbolic link. Every entry below the start folder (the folder itself excluded) is
// tested against the criteria (ItemFilter) and the kept ones are handed on in batches.
//
// Batching: the first batch goes out as soon as anything is found; after that at most one batch
// per `batchInterval` (measured on the settings' Clock), unless kMaxBatch items are waiting, and
// whatever is left when the walk ends goes out at once. So a window sees results early without
// being flooded by one event per item, and a fast walk never piles up more than a batch's worth
// of found items (a few megabytes) between two deliveries.
//
// Threads: the returned operation's body runs on the queue it is added to; it starts its own
// walker threads, joins them before it ends, and calls the handler on the body's thread only,
// never two batches at once. Cancellation is seen between directories: a cancelled search hands
// on what it has already found as one last batch and then stops. A start folder that cannot be
// opened logs an error and ends the search with no batch. The completion runs in every case.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "find/search/SearchDescriptor.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Operation.h"

namespace ml::find {

using BatchHandler = std::function<void(std::vector<files::Path> batch)>;

inline constexpr std::size_t kMaxBatch = 4096;

struct SearchSettings {
  dispatch::Clock* clock = nullptr;  // null: Clock::system()
  // A window redraws its count a few times a second at most; 250 ms keeps that smooth while
  // bounding the events a big result set produces (about 4 per second).
  dispatch::Duration batchInterval = std::chrono::milliseconds(250);
  int walkerThreads = 0;  // 0: one per core, at most 8 (more only contends on the disk)
};

std::shared_ptr<dispatch::Operation> executeSearch(files::Path folder, SearchDescriptor criteria, BatchHandler handler,
                                                   SearchSettings settings = {});

}  // namespace ml::find

#pragma once
// Builds rows for many paths and hands them out in batches, the way a folder listing reaches a
// view: the first batch as soon as it holds kFirstBatchRows rows or kFirstBatchDelay has passed
// (so the window fills at once), then at most one batch per kBatchInterval (so inserting rows and
// laying out the outline never crowd out the building), and the rest at the end. Both limits are
// checked as rows are built, against `clock`.
//
// Blocking (it reads the file system for every row); run it off the main thread.
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "platform/dispatch/Clock.h"
#include "shell/core/Telemetry.h"

namespace ml::list {

class PathListItem;

inline constexpr std::size_t kFirstBatchRows = 100;
inline constexpr auto kFirstBatchDelay = std::chrono::milliseconds(100);
inline constexpr auto kBatchInterval = std::chrono::milliseconds(500);

// Calls `deliver` with each batch, in order; every path gets exactly one row. `keepGoing`, when
// given, is asked before each row: false stops the building (nothing more is delivered). The rows
// report unreadable items to `usage` (see PathListItem::make).
void buildRowsInBatches(const std::vector<files::Path>& paths, dispatch::Clock& clock,
                        const std::function<void(std::vector<std::shared_ptr<PathListItem>>)>& deliver,
                        const std::function<bool()>& keepGoing = {},
                        const std::shared_ptr<shell::UsageEvents>& usage = nullptr);

}  // namespace ml::list

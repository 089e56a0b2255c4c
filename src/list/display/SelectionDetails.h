#pragma once
// The facts the detail pane shows about the one selected item that are not already in its row:
// its kind and dates, and for a folder its total size and the files and folders inside. All of
// them read the disk (a folder's whole tree, in one walk), so they are read on a background
// queue and land on the main queue.
//
// Only the latest request counts: a new load() or cancel() stops the reads of the earlier one
// (a folder walk gives up within an entry or so and frees its thread), and results of it that
// arrive late are dropped, so a slow folder count never writes over the details of a newer
// selection nor keeps working for a closed window. Thread affinity: load() and cancel() on the
// main thread (cancel() also from the owner's destructor on any thread, once nothing else uses
// it); the callbacks run there.
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "files/Files.h"
#include "files/Path.h"
#include "platform/dispatch/Queue.h"

namespace ml::list {

struct ItemFacts {
  std::string kind;                      // "Unknown File Type" when the item has none
  std::optional<files::ItemDates> dates;  // nothing when unreadable
};

struct FolderFacts {
  int64_t bytes = -1;                            // -1 when unreadable
  std::optional<files::ContentCounts> counts;    // nothing when the folder cannot be counted
};

// Blocking reads; any thread.
ItemFacts readItemFacts(const files::Path& path);
// The total and the counts come from one walk (Files::summarize), and the total goes into the
// cache of recently computed folder sizes. Once `stop` is requested the walk gives up and what
// it found is neither kept nor meant to be shown.
FolderFacts readFolderFacts(const files::Path& path, std::stop_token stop = {});

class SelectionDetails {
 public:
  using FactsHandler = std::function<void(const ItemFacts&)>;
  using FolderHandler = std::function<void(const FolderFacts&)>;

  // The queues must outlive the work posted to them (the shared ones live for the process).
  SelectionDetails(dispatch::Queue& background, dispatch::Queue& main)
      : background_(background), main_(main) {}

  // Reads the facts of `path` (and, when `isFolder`, the folder's totals, after them) and hands
  // each to its handler on the main queue, unless a later load() or cancel() came first.
  void load(const files::Path& path, bool isFolder, FactsHandler facts, FolderHandler folder);
  // Stops the reads of every load so far and drops their results.
  void cancel() { current_.request_stop(); }

 private:
  dispatch::Queue& background_;
  dispatch::Queue& main_;
  std::stop_source current_;  // of the latest load
};

}  // namespace ml::list

#pragma once
// The search a find window is running: the paths found so far (arrival order) and the operation,
// for cancelling.
//
// The store copies the window's state once per event, and a search of a whole volume brings
// thousands of batches, so neither copying the state nor adding a batch may copy the results.
// They sit in an append-only log shared by every copy of the search (a compact one, see
// FoundPaths); each copy sees the first count() paths, which never change once written. Adding to a copy that is not the newest (its
// count is behind the log) first gives that copy a log of its own, so older copies keep what
// they saw. Copies may be read and added to on different threads at once (the log has its own
// lock); one copy is used by one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "find/FoundPaths.h"
#include "platform/dispatch/Operation.h"

namespace ml::find {

class ActiveSearch {
 public:
  // A search whose first results are `initial` (none when null).
  explicit ActiveSearch(const std::shared_ptr<const std::vector<files::Path>>& initial = nullptr,
                        std::shared_ptr<dispatch::Operation> operation = nullptr);

  std::shared_ptr<dispatch::Operation> task;

  // The number of results this copy holds.
  std::size_t count() const { return count_; }
  // A copy of this copy's first `limit` results (all by default), in arrival order.
  std::vector<files::Path> paths(std::size_t limit = SIZE_MAX) const;
  // The same results without copying them: they stay in the log, which they keep alive.
  FoundPaths results(std::size_t limit = SIZE_MAX) const;
  // Adds `batch` after the results; amortised constant time per path.
  void append(const std::vector<files::Path>& batch);

 private:
  std::shared_ptr<ResultLog> log_;
  std::size_t count_ = 0;
};

}  // namespace ml::find

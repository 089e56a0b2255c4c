#include "find/ActiveSearch.h"

#include <algorithm>

namespace ml::find {

ActiveSearch::ActiveSearch(const std::shared_ptr<const std::vector<files::Path>>& initial,
                           std::shared_ptr<dispatch::Operation> operation)
    : task(std::move(operation)), log_(std::make_shared<ResultLog>()) {
  if (initial) append(*initial);
}

std::vector<files::Path> ActiveSearch::paths(std::size_t limit) const { return results(limit).all(); }

FoundPaths ActiveSearch::results(std::size_t limit) const { return FoundPaths(log_, std::min(limit, count_)); }

void ActiveSearch::append(const std::vector<files::Path>& batch) {
  if (batch.empty()) return;
  if (auto grown = log_->appendAt(count_, batch)) {
    count_ = *grown;
    return;
  }
  // Another copy has added since this one was made: continue on a log of this copy's own.
  log_ = log_->copyOfFirst(count_);
  count_ = *log_->appendAt(count_, batch);
}

}  // namespace ml::find

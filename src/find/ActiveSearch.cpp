#include "find/ActiveSearch.h"

#include <algorithm>
#include <optional>

namespace ml::find {

class ActiveSearch::ResultLog {
 public:
  // Appends when the log still ends at `expected` and gives the new size; otherwise gives
  // nothing and leaves the log alone.
  std::optional<std::size_t> appendAt(std::size_t expected, const std::vector<files::Path>& batch) {
    std::lock_guard lock(mutex_);
    if (items_.size() != expected) return std::nullopt;
    items_.insert(items_.end(), batch.begin(), batch.end());
    return items_.size();
  }
  std::vector<files::Path> prefix(std::size_t count) const {
    std::lock_guard lock(mutex_);
    return std::vector<files::Path>(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(count));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<files::Path> items_;
};

ActiveSearch::ActiveSearch(const std::shared_ptr<const std::vector<files::Path>>& initial,
                           std::shared_ptr<dispatch::Operation> operation)
    : task(std::move(operation)), log_(std::make_shared<ResultLog>()) {
  if (initial) append(*initial);
}

std::vector<files::Path> ActiveSearch::paths(std::size_t limit) const {
  return log_->prefix(std::min(limit, count_));
}

void ActiveSearch::append(const std::vector<files::Path>& batch) {
  if (batch.empty()) return;
  if (auto grown = log_->appendAt(count_, batch)) {
    count_ = *grown;
    return;
  }
  // Another copy has added since this one was made: continue on a log of this copy's own.
  auto own = std::make_shared<ResultLog>();
  own->appendAt(0, log_->prefix(count_));
  log_ = std::move(own);
  count_ = *log_->appendAt(count_, batch);
}

}  // namespace ml::find

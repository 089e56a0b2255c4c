#include "list/rows/ListWindowDataSource2.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "list/rows/FreedMemory.h"
#include "platform/dispatch/GlobalPool.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

ListWindowDataSource2::~ListWindowDataSource2() {
  const bool many = items_.size() >= kManyRows;
  items_.clear();
  positions_.clear();
  if (many) releaseFreedMemory();
}

std::vector<files::Path> ListWindowDataSource2::sources() const {
  std::vector<files::Path> result;
  result.reserve(items_.size());
  for (const auto& row : items_) result.push_back(row->source());
  return result;
}

int ListWindowDataSource2::rowOf(const PathListItem* row) const {
  if (!positionsValid_) {
    positions_.clear();
    positions_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) positions_[items_[i].get()] = static_cast<int>(i);
    positionsValid_ = true;
  }
  auto it = positions_.find(row);
  return it == positions_.end() ? -1 : it->second;
}

void ListWindowDataSource2::append(std::vector<Row> rows) {
  ML_ASSERT_MAIN_THREAD();
  std::erase(rows, nullptr);
  if (rows.empty()) return;
  const int first = static_cast<int>(items_.size());
  const int last = first + static_cast<int>(rows.size()) - 1;
  if (observer_) observer_->willInsertRows(first, last);
  items_.insert(items_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
  positionsChanged();
  if (observer_) observer_->didInsertRows();
}

namespace {

// Past this many separate runs a removal is announced as one reordering: a view handles each
// run it is told of on its own (a tree view lays out all its rows again), so thousands of runs
// would cost thousands of passes over the list.
constexpr std::size_t kMaxAnnouncedRuns = 8;

}  // namespace

std::size_t ListWindowDataSource2::remove(const std::vector<files::Path>& paths) {
  ML_ASSERT_MAIN_THREAD();
  if (paths.empty() || items_.empty()) return 0;
  // By location text: every path has one form, and a row's text is at hand without making a
  // Path for it.
  std::unordered_set<std::string_view> gone;
  gone.reserve(paths.size());
  for (const auto& path : paths) gone.insert(path.url().native());
  std::vector<bool> leaves(items_.size());
  std::size_t removed = 0;
  std::size_t runs = 0;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    leaves[i] = gone.count(items_[i]->location()) > 0;
    if (!leaves[i]) continue;
    ++removed;
    if (i == 0 || !leaves[i - 1]) ++runs;
  }
  if (removed == 0) return 0;

  if (runs > kMaxAnnouncedRuns) {
    if (observer_) observer_->willReorderRows();
    std::unordered_map<const PathListItem*, PathListItem*> left;
    left.reserve(removed);
    std::vector<Row> leaving;
    leaving.reserve(removed);
    std::vector<Row> staying;
    staying.reserve(items_.size() - removed);
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (leaves[i]) {
        left.emplace(items_[i].get(), nullptr);
        leaving.push_back(std::move(items_[i]));
      } else {
        staying.push_back(std::move(items_[i]));
      }
    }
    items_ = std::move(staying);
    positionsChanged();
    // The rows die after the observer has been told, never while it may still look at them.
    if (observer_) observer_->didReorderRows(left);
  } else {
    // Runs of rows to drop, taken from the end so that earlier positions stay valid.
    int end = static_cast<int>(items_.size());
    while (end > 0) {
      int last = end - 1;
      while (last >= 0 && !leaves[static_cast<std::size_t>(last)]) --last;
      if (last < 0) break;
      int first = last;
      while (first > 0 && leaves[static_cast<std::size_t>(first - 1)]) --first;
      if (observer_) observer_->willRemoveRows(first, last);
      std::vector<Row> leaving(std::make_move_iterator(items_.begin() + first),
                               std::make_move_iterator(items_.begin() + last + 1));
      items_.erase(items_.begin() + first, items_.begin() + last + 1);
      positionsChanged();
      if (observer_) observer_->didRemoveRows();
      end = first;
    }
  }
  if (removed >= kManyRows) releaseFreedMemory();
  return removed;
}

std::size_t ListWindowDataSource2::clear() {
  const std::size_t count = items_.size();
  if (count == 0) return 0;
  if (observer_) observer_->willRemoveRows(0, static_cast<int>(count) - 1);
  std::vector<Row> leaving = std::move(items_);
  items_.clear();
  positionsChanged();
  if (observer_) observer_->didRemoveRows();
  if (count >= kManyRows) {
    // Letting go of many rows takes tens of milliseconds (a closed list of 200,000): the main
    // thread does not wait for it. Nobody else holds them now.
    dispatch::GlobalPool::shared().async([leaving = std::move(leaving)]() mutable {
      leaving.clear();
      releaseFreedMemory();
    });
  }
  return count;
}

std::size_t ListWindowDataSource2::replace(Replacements replacements) {
  ML_ASSERT_MAIN_THREAD();
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    auto it = replacements.find(items_[i]->location());
    if (it != replacements.end() && !it->second.empty()) positions.push_back(i);
  }
  if (positions.empty()) return 0;
  if (observer_) observer_->willReorderRows();
  std::unordered_map<const PathListItem*, PathListItem*> replaced;
  std::vector<Row> leaving;
  for (std::size_t i : positions) {
    auto& waiting = replacements[items_[i]->location()];
    Row next = std::move(waiting.front());
    waiting.pop_front();
    if (!next) continue;
    replaced[items_[i].get()] = next.get();
    leaving.push_back(std::move(items_[i]));
    items_[i] = std::move(next);
  }
  positionsChanged();
  if (observer_) observer_->didReorderRows(replaced);
  return leaving.size();
}

int64_t ListWindowDataSource2::numberOfChildren(const PathListItem* item) const {
  if (!item) return static_cast<int64_t>(items_.size());
  return item->childCount();
}

bool ListWindowDataSource2::isExpandable(const PathListItem* item) const { return item && item->isExpandable(); }

ListWindowDataSource2::Row ListWindowDataSource2::child(int64_t index, PathListItem* item) {
  if (!item) {
    if (index < 0 || index >= static_cast<int64_t>(items_.size())) return nullptr;
    return items_[static_cast<std::size_t>(index)];
  }
  return item->child(index);
}

ColumnValue ListWindowDataSource2::objectValue(std::string_view id, const PathListItem* item) const {
  if (!item) return std::monostate{};
  if (id == column::icon) return item->icon();
  if (id == column::name) return std::string(item->name());
  if (id == column::created) {
    if (item->creationDate()) return *item->creationDate();
    return std::monostate{};
  }
  if (id == column::modified) {
    if (item->lastModifiedDate()) return *item->lastModifiedDate();
    return std::monostate{};
  }
  if (id == column::size) {
    if (item->byteCount() == -1) return std::string(kNoSizeText);
    return item->byteCount();
  }
  if (id == column::location) return item->isGone() ? std::string(kGoneText) : item->fullPath();
  return std::monostate{};
}

void ListWindowDataSource2::sortDescriptorsDidChange(const std::vector<SortDescriptor>& descriptors) {
  ML_ASSERT_MAIN_THREAD();
  sortDescriptors_ = descriptors;
  if (observer_) observer_->willReorderRows();
  if (!descriptors.empty()) {
    RowOrdering ordering(descriptors);
    std::stable_sort(items_.begin(), items_.end(),
                     [&ordering](const Row& a, const Row& b) { return ordering.before(*a, *b); });
    positionsChanged();
  }
  if (observer_) observer_->didReorderRows({});
}

}  // namespace ml::list

#pragma once
// A first-in first-out queue over one array. Dequeuing clears the front slot and moves a head
// index instead of shifting the array; the spent slots are dropped only when the array holds
// more than 50 slots of which more than a quarter are spent, which keeps dequeue() amortised
// constant time. Not thread-safe: one thread at a time.
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace ml::util {

template <class T>
class Queue {
 public:
  bool isEmpty() const { return count() == 0; }
  std::size_t count() const { return slots_.size() - head_; }

  void enqueue(T element) { slots_.emplace_back(std::move(element)); }

  // The front element, removed; none when the queue is empty.
  std::optional<T> dequeue() {
    if (head_ >= slots_.size()) return std::nullopt;
    auto& slot = slots_[head_];
    if (!slot) return std::nullopt;  // cannot happen: slots from head_ on always hold a value
    std::optional<T> element = std::move(slot);
    slot.reset();
    ++head_;
    // Both comparisons strict, and the count still includes the spent slots: 60 slots compact
    // on the 16th dequeue (16/60 > 0.25), not the 15th (exactly 0.25).
    if (slots_.size() > kCompactionMinimumSlots &&
        static_cast<double>(head_) / static_cast<double>(slots_.size()) > kCompactionSpentShare) {
      slots_.erase(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    return element;
  }

  // The next element to come out, left in place; none when the queue is empty.
  std::optional<T> front() const {
    if (count() == 0) return std::nullopt;
    return slots_[head_];
  }

  // Slots held, spent ones included; for diagnostics and tests of the compaction rule.
  std::size_t slotCount() const { return slots_.size(); }

 private:
  static constexpr std::size_t kCompactionMinimumSlots = 50;
  static constexpr double kCompactionSpentShare = 0.25;

  std::vector<std::optional<T>> slots_;
  std::size_t head_ = 0;  // invariant: head_ <= slots_.size(); queued elements are [head_, end)
};

}  // namespace ml::util

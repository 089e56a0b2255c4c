#pragma once
// A linked list that writers change under a lock and that readers walk without any lock, even
// from a signal handler that interrupted a writer in the middle of a change.
//
//   writers (normal context, any thread)      readers (crash time or normal context)
//   ------------------------------------      --------------------------------------
//   lock; take a node; fill it;               set_reading(true)        atomic increment
//   full barrier; publish it with CAS         next(null) / next(node)  acquire loads of links
//   (head or tail->next); unlock              set_reading(false)       atomic decrement
//
// A reader sees every node either not yet published or complete, because a node is filled before
// the compare-and-swap that links it in. Removal unlinks with compare-and-swap and never releases
// memory: nodes live in a pool owned by the list until the list is destroyed, and an unlinked node
// goes to a free list. A node on the free list is reused only while no reader is counted in, so a
// reader that still stands on an unlinked node keeps following its old links (they lead back into
// the list or to its end) and never lands on a node that was reused for another value.
//
// Crash-time (async-signal-safe, no allocation, no locks, lock-free atomics only): set_reading,
// next, head. Normal context only (they allocate and lock): append, prepend, remove, destruction.
#include <atomic>
#include <cassert>
#include <cstdint>
#include <deque>
#include <mutex>

namespace ml::crash {

template <typename V>
class async_list {
 public:
  struct node {
    V value{};
    node* prev = nullptr;               // touched by writers only
    std::atomic<node*> next{nullptr};   // published with release, read with acquire
  };

  async_list() = default;
  async_list(const async_list&) = delete;
  async_list& operator=(const async_list&) = delete;

  // Appends `value` at the end; returns its node (valid until the list is destroyed). When
  // `node_out` is given, the node is stored there before any reader can see the node.
  node* append(V value, node** node_out = nullptr) {
    std::lock_guard<std::mutex> lock(write_lock_);
    node* n = takeNode(value, node_out);
    if (tail_ != nullptr) {
      node* expected = nullptr;
      if (!tail_->next.compare_exchange_strong(expected, n, std::memory_order_seq_cst)) {
        reportWriterFault("Failed to append to image list despite holding lock");
      }
      n->prev = tail_;
      tail_ = n;
    } else {
      publishFirst(n);
    }
    return n;
  }

  // Inserts `value` at the front; returns its node.
  node* prepend(V value, node** node_out = nullptr) {
    std::lock_guard<std::mutex> lock(write_lock_);
    node* n = takeNode(value, node_out);
    if (tail_ != nullptr) {
      node* old_head = head_.load(std::memory_order_relaxed);
      n->next.store(old_head, std::memory_order_relaxed);
      n->prev = nullptr;
      old_head->prev = n;
      std::atomic_thread_fence(std::memory_order_seq_cst);
      if (!head_.compare_exchange_strong(old_head, n, std::memory_order_seq_cst)) {
        reportWriterFault("Failed to prepend to image list despite holding lock");
      }
    } else {
      publishFirst(n);
    }
    return n;
  }

  // Unlinks the node; a node that is not in the list is ignored.
  void remove(node* target) {
    std::lock_guard<std::mutex> lock(write_lock_);
    node* n = head_.load(std::memory_order_relaxed);
    while (n != nullptr && n != target) n = n->next.load(std::memory_order_relaxed);
    if (n == nullptr) return;

    node* successor = n->next.load(std::memory_order_relaxed);
    if (n->prev == nullptr) {
      node* expected = n;
      if (!head_.compare_exchange_strong(expected, successor, std::memory_order_seq_cst)) {
        reportWriterFault("Failed to remove image list head despite holding lock");
      }
    } else {
      node* expected = n;
      if (!n->prev->next.compare_exchange_strong(expected, successor, std::memory_order_seq_cst)) {
        reportWriterFault("Failed to remove image list item despite holding lock");
      }
    }
    if (successor != nullptr) successor->prev = n->prev;
    else tail_ = n->prev;

    // The node keeps its next link: a reader standing on it walks on into the list.
    auto* unlinked = static_cast<pooled*>(n);
    unlinked->prev = nullptr;
    unlinked->free_next = free_;
    free_ = unlinked;
  }

  // Removes the first node whose value equals `value`; false when there is none.
  bool removeValue(const V& value) {
    node* n = nullptr;
    {
      std::lock_guard<std::mutex> lock(write_lock_);
      for (n = head_.load(std::memory_order_relaxed); n != nullptr; n = n->next.load(std::memory_order_relaxed)) {
        if (n->value == value) break;
      }
    }
    if (n == nullptr) return false;
    remove(n);
    return true;
  }

  // Counts a reader in (true) or out (false). Async-signal-safe.
  void set_reading(bool enable) {
    if (enable) readers_.fetch_add(1, std::memory_order_seq_cst);
    else readers_.fetch_sub(1, std::memory_order_seq_cst);
  }

  // The node after `current`, or the first node when current is null; null at the end.
  // The caller must be counted in. Async-signal-safe.
  node* next(const node* current) const {
    assert(readers_.load(std::memory_order_relaxed) > 0 && "_refcount > 0");
    if (current == nullptr) return head_.load(std::memory_order_acquire);
    return current->next.load(std::memory_order_acquire);
  }

  // Drops every node. No reader may be counted in. Normal context.
  void clear() {
    std::lock_guard<std::mutex> lock(write_lock_);
    assert(readers_.load(std::memory_order_seq_cst) == 0);
    head_.store(nullptr, std::memory_order_seq_cst);
    tail_ = nullptr;
    free_ = nullptr;
    pool_.clear();
  }

  int32_t readerCount() const { return readers_.load(std::memory_order_seq_cst); }

  // Diagnostics for tests: how many nodes the pool holds and whether `n` is on the free list.
  size_t poolSize() const {
    std::lock_guard<std::mutex> lock(write_lock_);
    return pool_.size();
  }
  bool isFree(const node* n) const {
    std::lock_guard<std::mutex> lock(write_lock_);
    for (const pooled* f = free_; f != nullptr; f = f->free_next) {
      if (f == n) return true;
    }
    return false;
  }

 private:
  struct pooled : node {
    pooled* free_next = nullptr;  // the free list's link, apart from the reader-visible links
  };

  static_assert(std::atomic<node*>::is_always_lock_free, "readers need lock-free links");
  static_assert(std::atomic<int32_t>::is_always_lock_free, "readers need a lock-free count");

  node* takeNode(V value, node** node_out) {
    pooled* n;
    if (free_ != nullptr && readers_.load(std::memory_order_seq_cst) == 0) {
      n = free_;
      free_ = n->free_next;
      n->free_next = nullptr;
    } else {
      n = &pool_.emplace_back();  // deque: elements never move, so published nodes stay put
    }
    n->value = value;
    n->prev = nullptr;
    n->next.store(nullptr, std::memory_order_relaxed);
    if (node_out != nullptr) *node_out = n;
    // The node is complete before any reader can reach it.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return n;
  }

  void publishFirst(node* n) {
    tail_ = n;
    node* expected = nullptr;
    if (!head_.compare_exchange_strong(expected, n, std::memory_order_seq_cst)) {
      reportWriterFault("An async image head was set with tail == NULL despite holding lock.");
    }
  }

  static void reportWriterFault(const char* message);

  mutable std::mutex write_lock_;   // serialises writers only; readers never take it
  std::atomic<node*> head_{nullptr};
  node* tail_ = nullptr;            // writers only
  std::atomic<int32_t> readers_{0};
  pooled* free_ = nullptr;          // writers only
  std::deque<pooled> pool_;         // owns every node ever handed out
};

// Writes the diagnostic line for a link that changed under a writer holding the lock (a fault of
// the list itself; kept as a line rather than an abort so a crash report can still be written).
void tlcrash_async_list_writer_fault(const char* message);

template <typename V>
void async_list<V>::reportWriterFault(const char* message) {
  tlcrash_async_list_writer_fault(message);
}

}  // namespace ml::crash

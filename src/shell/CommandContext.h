#pragma once
// What a global command's executor works with: the services, and where to fire its results (the
// store that ran it, and the global store).
//
// The work a command starts (panels, copies, the Trash) may outlive the window that fired it:
// each sink holds its store for as long as it exists (see GlobalCommands), so results fired when
// that work ends reach a live store.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/store/Event.h"
#include "shell/ShellServices.h"

namespace ml::shell {

using EventSink = std::function<void(std::shared_ptr<const store::Event>)>;

// The copies, moves and trashes under way, so that quitting can let them finish or stop them (see
// AppDelegate::willTerminate) and the application can show that it is at work. Thread-safe.
class FileWorkInProgress {
 public:
  struct Progress {
    std::size_t commands = 0;  // copies, moves and trashes under way
    std::size_t items = 0;     // the items they were given
    std::size_t done = 0;      // of those, the items done (copied, moved or failed)
  };

  // How the copies and moves under way are to end. `afterItem`: each finishes the item in
  // progress and starts no other. `now`: the item in progress is abandoned as well, its partial
  // copy removed (a move across volumes keeps its source). A trash stops between two items
  // either way: an item is in the Trash with its record or in place without one.
  // A stop holds until the last work under way lets go; work started later runs in full.
  enum class Stop { none, afterItem, now };

  // Held by one command while it works through its items; lets go of them when it goes.
  class Hold {
   public:
    Hold(std::shared_ptr<FileWorkInProgress> work, std::size_t items) : work_(std::move(work)), items_(items) {
      {
        std::lock_guard lock(work_->mutex_);
        ++work_->progress_.commands;
        work_->progress_.items += items_;
      }
      work_->changed();
    }
    ~Hold() {
      {
        std::lock_guard lock(work_->mutex_);
        --work_->progress_.commands;
        work_->progress_.items -= items_;
        work_->progress_.done -= done_;
        if (work_->progress_.commands == 0) {
          work_->stop_.store(Stop::none);
          work_->abandon_.store(false);
        }
      }
      work_->changed();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    // One more item done.
    void itemDone() {
      std::lock_guard lock(work_->mutex_);
      ++done_;
      ++work_->progress_.done;
    }
    // Whether to start no other item.
    bool stopping() const { return work_->stop_.load() != Stop::none; }
    // Set once the item in progress is to be abandoned too; for the copy engine to look at.
    const std::atomic<bool>* abandon() const { return &work_->abandon_; }

   private:
    std::shared_ptr<FileWorkInProgress> work_;
    std::size_t items_;
    std::size_t done_ = 0;
  };

  Progress progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
  }

  // Asks the work under way to stop; a stop is only ever made more urgent. Nothing is under way:
  // nothing to stop. Any thread, a signal's handler excepted.
  void stop(Stop how) {
    std::lock_guard lock(mutex_);
    if (progress_.commands == 0 || how <= stop_.load()) return;
    stop_.store(how);
    if (how == Stop::now) abandon_.store(true);
  }
  Stop stopRequested() const { return stop_.load(); }

  // Called each time a command starts or ends, on the thread where it did, outside the lock.
  // Calls from two threads may arrive in either order: the callee reads progress() for the state.
  void setOnChange(std::function<void()> onChange) {
    std::lock_guard lock(mutex_);
    onChange_ = std::move(onChange);
  }

 private:
  void changed() {
    std::function<void()> onChange;
    {
      std::lock_guard lock(mutex_);
      onChange = onChange_;
    }
    if (onChange) onChange();
  }

  mutable std::mutex mutex_;
  Progress progress_;
  std::atomic<Stop> stop_{Stop::none};
  std::atomic<bool> abandon_{false};  // read by the copy engine between chunks, without the lock
  std::function<void()> onChange_;
};

struct CommandContext {
  ShellServices services;
  EventSink fire;        // the store that ran the command
  EventSink fireGlobal;  // the global store
  // Where copies, moves and trashes announce themselves while they work; may be null (nothing
  // waits).
  std::shared_ptr<FileWorkInProgress> fileWork;
};

}  // namespace ml::shell

#include "find/ExecuteSearch.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>

#include "files/FileSystem.h"
#include "find/FindWindowEvents.h"
#include "find/SearchQueue.h"
#include "platform/foundation/AppFolders.h"
#include "platform/logging/Log.h"

namespace ml::find {
namespace {

// Fires on the store the search was started for, while it exists.
class StoreLink {
 public:
  StoreLink(std::optional<std::weak_ptr<store::Core<FindWindowState>>> weak, store::Core<FindWindowState>& core)
      : weak_(std::move(weak)), core_(&core) {}
  template <class E>
  void fire(E event) const {
    if (!weak_) {
      core_->fire(std::move(event));
      return;
    }
    if (auto core = weak_->lock()) core->fire(std::move(event));
  }

 private:
  std::optional<std::weak_ptr<store::Core<FindWindowState>>> weak_;
  store::Core<FindWindowState>* core_;
};

// The batches a search has fired and its store has not handled yet. The search waits while
// kBatchesAhead are outstanding, so a walk faster than its store never piles up found Paths in
// the store's queue; a second at most at a time, so a store that has stopped serving (the
// application quitting) never holds the search for good.
class BatchesInFlight : public std::enable_shared_from_this<BatchesInFlight> {
 public:
  static constexpr int kBatchesAhead = 2;

  // Waits for room, then counts one more batch; the receipt counts it off when let go.
  std::shared_ptr<const void> next() {
    std::unique_lock lock(mutex_);
    taken_.wait_for(lock, std::chrono::seconds(1), [&] { return outstanding_ < kBatchesAhead; });
    ++outstanding_;
    return std::shared_ptr<const void>(nullptr, [self = shared_from_this()](const void*) { self->handled(); });
  }

 private:
  void handled() {
    {
      std::lock_guard lock(mutex_);
      --outstanding_;
    }
    taken_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable taken_;
  int outstanding_ = 0;
};

}  // namespace

std::optional<files::Path> ExecuteSearch::startFolder(const SearchLocation& location) {
  switch (location.kind) {
    case SearchLocation::Kind::root: return files::FileSystems::defaultFileSystem()->rootPath();
    case SearchLocation::Kind::home:
      return files::Path(files::FileSystems::defaultFileSystem(), foundation::AppFolders::home());
    case SearchLocation::Kind::local:
    case SearchLocation::Kind::other: return std::nullopt;
  }
  return std::nullopt;
}

void ExecuteSearch::execute(const FindWindowState& state, store::Core<FindWindowState>& core) {
  auto folder = startFolder(state.location);
  if (!folder) {
    // The window offers no way to search such a place; reaching here is a caller's mistake.
    LOG_WARNING("search of a location that cannot be searched; nothing started");
    return;
  }
  auto link = std::make_shared<StoreLink>(store_, core);
  // The operation's identity tags its events, so a search replaced by a newer one cannot add to
  // or end the newer one. Set before the operation can run.
  auto identity = std::make_shared<const dispatch::Operation*>(nullptr);
  auto inFlight = std::make_shared<BatchesInFlight>();
  auto operation = executeSearch(
      *folder, state.criteria,
      [link, identity, inFlight](std::vector<files::Path> batch) {
        if (batch.empty()) return;
        if (::ml::logging::Log::debug()) {
          std::ostringstream text;
          for (const auto& p : batch) text << p.description() << ' ';
          LOG_DEBUG("paths found: " << text.str());
        }
        link->fire(SearchResultsUpdated(std::move(batch), true, *identity, inFlight->next()));
      },
      settings_);
  *identity = operation.get();
  operation->setCompletion([link, from = operation.get()] {
    LOG_DEBUG("finished search");
    link->fire(SearchCompleted(from));
  });
  core.fire(SearchStarted(ActiveSearch{std::make_shared<const std::vector<files::Path>>(), operation}));
  (queue_ ? *queue_ : searchQueue()).add(operation);
}

}  // namespace ml::find

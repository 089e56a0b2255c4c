#pragma once
// The command that starts a find window's search: the start folder from the state's location
// (root or home; other locations start nothing), one search operation on the shared search
// queue, SearchStarted on the store at once, then SearchResultsUpdated per batch and
// SearchCompleted when the operation ends (finished, failed or cancelled).
//
// The operation can outlive the window (a window closed mid-search). The command therefore keeps
// a weak reference to its store when it is given one, and events of a search whose store is gone
// are dropped. Without one (tests firing on a store they keep alive) the store passed to
// execute() is used and must outlive the search.
#include <memory>

#include "find/FindWindowState.h"
#include "find/search/VolumeSearch.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/store/Command.h"
#include "platform/store/Core.h"

namespace ml::find {

class ExecuteSearch final : public store::Command<FindWindowState> {
 public:
  ExecuteSearch() = default;
  explicit ExecuteSearch(std::weak_ptr<store::Core<FindWindowState>> store, SearchSettings settings = {},
                         dispatch::OperationQueue* queue = nullptr)
      : store_(std::move(store)), settings_(settings), queue_(queue) {}

  void execute(const FindWindowState& state, store::Core<FindWindowState>& core) override;

  // The folder a location searches, or nothing for a location that cannot be searched.
  static std::optional<files::Path> startFolder(const SearchLocation& location);

 private:
  std::optional<std::weak_ptr<store::Core<FindWindowState>>> store_;
  SearchSettings settings_;
  dispatch::OperationQueue* queue_ = nullptr;  // null: the shared search queue
};

}  // namespace ml::find

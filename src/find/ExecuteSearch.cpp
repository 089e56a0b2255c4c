#include "find/ExecuteSearch.h"

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
  auto operation = executeSearch(
      *folder, state.criteria,
      [link, identity](std::vector<files::Path> batch) {
        if (batch.empty()) return;
        if (::ml::logging::Log::debug()) {
          std::ostringstream text;
          for (const auto& p : batch) text << p.description() << ' ';
          LOG_DEBUG("paths found: " << text.str());
        }
        link->fire(SearchResultsUpdated(std::move(batch), true, *identity));
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

#pragma once
// The state of one find window's store, and its reducer. Ending a search (terminated with its
// results shown, or completed by itself) hands the first `maxResults` results on through
// ResultDelivery by `resultAction`; a search is current from SearchStarted until then, so results
// are delivered at most once and batches arriving afterwards are dropped. A search that ends with
// no results to show delivers nothing; it counts in `emptySearches`, for the window to say so.
#include <optional>

#include "find/ActiveSearch.h"
#include "find/ResultAction.h"
#include "find/SearchLocation.h"
#include "find/search/SearchDescriptor.h"
#include "platform/store/Event.h"
#include "shell/WindowContext.h"

namespace ml::find {

struct FindWindowState {
  SearchLocation location = SearchLocation::root();
  SearchDescriptor criteria;
  std::optional<ActiveSearch> currentSearch;
  ResultAction resultAction = ResultAction::newList;
  std::optional<int> maxResults;  // a cut of the shown results; absent (or not positive): none
  // The searches that ended with nothing to show (none found by the end, or none yet when the
  // results were asked for); the window says that nothing was found each time this grows.
  unsigned emptySearches = 0;
  // Where the results go: the window's view of the application (none: they are dropped).
  shell::WindowContext context;

  void react(const store::Event& event);

 private:
  // Whether events from the search operation `from` (null: any) concern the current search.
  bool isCurrent(const dispatch::Operation* from) const;
  // Delivers the current search's results (cut, by the result action) when `showResults`, and
  // ends it. A search must be current.
  void endSearch(bool showResults);
};

}  // namespace ml::find

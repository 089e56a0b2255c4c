#include "find/FindWindowState.h"

#include <algorithm>

#include "find/FindWindowEvents.h"
#include "find/ResultDelivery.h"

namespace ml::find {

bool FindWindowState::isCurrent(const dispatch::Operation* from) const {
  return currentSearch && (!from || currentSearch->task.get() == from);
}

void FindWindowState::react(const store::Event& event) {
  if (auto* e = event.as<MaxResultsUpdated>()) {
    maxResults = e->value;
    return;
  }
  if (auto* e = event.as<ResultActionUpdated>()) {
    resultAction = e->action;
    return;
  }
  if (auto* e = event.as<SearchLocationUpdated>()) {
    location = e->location;
    return;
  }
  if (auto* e = event.as<SearchStarted>()) {
    currentSearch = e->reference;
    return;
  }
  if (auto* e = event.as<SearchResultsUpdated>()) {
    if (isCurrent(e->from)) currentSearch->append(e->batch);
    return;
  }
  if (auto* e = event.as<SearchTerminated>()) {
    if (!currentSearch) return;
    if (currentSearch->task) currentSearch->task->cancel();
    if (e->showResults) {
      std::vector<files::Path> results = currentSearch->paths();
      // A cut that is absent, not positive or not smaller than the count keeps everything.
      if (maxResults && *maxResults > 0 && static_cast<size_t>(*maxResults) < results.size())
        results.erase(results.begin() + *maxResults, results.end());
      deliverResults(resultAction, std::move(results));
    }
    currentSearch.reset();
    return;
  }
  if (auto* e = event.as<SearchCompleted>()) {
    if (!isCurrent(e->from)) return;  // a replaced search's end leaves the current one alone
    // A search that ended by itself always opens a new list, whatever the result choice says.
    if (currentSearch && !currentSearch->paths().empty())
      deliverResults(ResultAction::newList, currentSearch->paths());
    currentSearch.reset();
    return;
  }
  if (auto* e = event.as<NameCriterionUpdated>()) {
    if (e->enabled) criteria.name = NameCriterion{e->caseSensitive, e->option, e->negated};
    else criteria.name.reset();
    return;
  }
  if (event.as<InvalidRegexPatternEntered>()) {
    // The previous name criterion stays.
    return;
  }
  if (auto* e = event.as<ExtensionCriterionUpdated>()) {
    if (e->enabled) criteria.extension = ExtensionCriterion{e->value, e->negated};
    else criteria.extension.reset();
    return;
  }
  if (auto* e = event.as<VisibiltyCriterionUpdated>()) {
    if (e->enabled) criteria.invisible = e->invisible;
    else criteria.invisible.reset();
    return;
  }
  if (auto* e = event.as<PackageCriterionUpdated>()) {
    criteria.includePackageContents = e->includePackages;
    return;
  }
  if (auto* e = event.as<PackageRequirementCriterionUpdated>()) {
    if (e->enabled) criteria.isPackage = e->requirePackages;
    else criteria.isPackage.reset();
    return;
  }
  if (auto* e = event.as<FileKindCriterionUpdate>()) {
    if (e->enabled) criteria.type = e->predicate;
    else criteria.type.reset();
  }
}

}  // namespace ml::find

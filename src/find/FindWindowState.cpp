#include "find/FindWindowState.h"

#include <cstdint>

#include "find/FindWindowEvents.h"
#include "find/FreedMemory.h"
#include "find/ResultDelivery.h"

namespace ml::find {

bool FindWindowState::isCurrent(const dispatch::Operation* from) const {
  return currentSearch && (!from || currentSearch->task.get() == from);
}

void FindWindowState::endSearch(bool showResults) {
  if (showResults && currentSearch->count() == 0) {
    ++emptySearches;
  } else if (showResults) {
    // A cut that is absent or not positive keeps everything.
    const size_t cut = maxResults && *maxResults > 0 ? static_cast<size_t>(*maxResults) : SIZE_MAX;
    deliverResults(context, resultAction, currentSearch->results(cut));
  } else if (currentSearch->count() >= kManyResults) {
    // The results go with this state's last copy, replaced once this event is through.
    releaseFreedMemorySoon();
  }
  currentSearch.reset();
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
    endSearch(e->showResults);
    return;
  }
  if (auto* e = event.as<SearchCompleted>()) {
    if (!isCurrent(e->from)) return;  // a replaced search's end leaves the current one alone
    // A search that ends by itself, however quickly, ends as one the result cut ended would: the
    // chosen result action and the cut hold either way. Nothing found opens nothing, and says so.
    endSearch(true);
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

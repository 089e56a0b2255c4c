#pragma once
// The events of a find window's store: fired by the window, its criterion rows and its search.
#include <optional>
#include <string>
#include <memory>
#include <vector>

#include "files/Path.h"
#include "find/ActiveSearch.h"
#include "find/ResultAction.h"
#include "find/SearchLocation.h"
#include "find/search/NameSearchOption.h"
#include "find/search/TypeDescriptor.h"
#include "platform/store/Event.h"

namespace ml::find {

struct MaxResultsUpdated : store::Event {
  explicit MaxResultsUpdated(std::optional<int> v) : value(v) {}
  std::optional<int> value;
};

struct ResultActionUpdated : store::Event {
  explicit ResultActionUpdated(ResultAction a) : action(a) {}
  ResultAction action;
};

struct SearchLocationUpdated : store::Event {
  explicit SearchLocationUpdated(SearchLocation l) : location(std::move(l)) {}
  SearchLocation location;
};

struct SearchStarted : store::Event {
  explicit SearchStarted(ActiveSearch r) : reference(std::move(r)) {}
  ActiveSearch reference;
};

// `from` names the search operation the batch comes from (identity only, never dereferenced);
// null matches whatever search is current. `receipt`, when given, is let go with the event once
// the store has handled it: the search counts the batches it has fired and not yet seen taken.
struct SearchResultsUpdated : store::Event {
  SearchResultsUpdated(std::vector<files::Path> b, bool f, const dispatch::Operation* s = nullptr,
                       std::shared_ptr<const void> r = nullptr)
      : batch(std::move(b)), finished(f), from(s), receipt(std::move(r)) {}
  std::vector<files::Path> batch;
  bool finished;
  const dispatch::Operation* from;
  std::shared_ptr<const void> receipt;
};

struct SearchTerminated : store::Event {
  explicit SearchTerminated(bool show) : showResults(show) {}
  bool showResults;
};

struct SearchCompleted : store::Event {
  explicit SearchCompleted(const dispatch::Operation* s = nullptr) : from(s) {}
  const dispatch::Operation* from;  // as in SearchResultsUpdated
};

struct NameCriterionUpdated : store::Event {
  NameCriterionUpdated(bool e, NameSearchOption o, bool c, bool n) : enabled(e), option(std::move(o)), caseSensitive(c), negated(n) {}
  bool enabled;
  NameSearchOption option;
  bool caseSensitive;
  bool negated;
};

struct InvalidRegexPatternEntered : store::Event {};

struct ExtensionCriterionUpdated : store::Event {
  ExtensionCriterionUpdated(bool e, std::string v, bool n) : enabled(e), value(std::move(v)), negated(n) {}
  bool enabled;
  std::string value;
  bool negated;
};

struct VisibiltyCriterionUpdated : store::Event {
  VisibiltyCriterionUpdated(bool e, bool i) : enabled(e), invisible(i) {}
  bool enabled;
  bool invisible;
};

struct PackageCriterionUpdated : store::Event {
  explicit PackageCriterionUpdated(bool i) : includePackages(i) {}
  bool includePackages;
};

struct PackageRequirementCriterionUpdated : store::Event {
  PackageRequirementCriterionUpdated(bool e, bool r) : enabled(e), requirePackages(r) {}
  bool enabled;
  bool requirePackages;
};

// `negated` is informational: the negation travels inside the predicate.
struct FileKindCriterionUpdate : store::Event {
  FileKindCriterionUpdate(bool e, TypeDescriptor p, bool n) : enabled(e), predicate(std::move(p)), negated(n) {}
  bool enabled;
  TypeDescriptor predicate;
  bool negated;
};

}  // namespace ml::find

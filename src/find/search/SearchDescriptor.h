#pragma once
// The criteria of one volume search. The default has no criterion and skips package contents.
#include <optional>
#include <string>

#include "find/search/NameSearchOption.h"
#include "find/search/TypeDescriptor.h"

namespace ml::find {

struct NameCriterion {
  bool caseSensitive = false;
  NameSearchOption options;
  bool negate = false;
  friend bool operator==(const NameCriterion&, const NameCriterion&) = default;
};

struct ExtensionCriterion {
  std::string value;  // without the full stop
  bool negate = false;
  friend bool operator==(const ExtensionCriterion&, const ExtensionCriterion&) = default;
};

struct SearchDescriptor {
  std::optional<NameCriterion> name;
  std::optional<ExtensionCriterion> extension;
  std::optional<bool> invisible;     // true: only invisible items; false: only visible ones
  bool includePackageContents = false;
  std::optional<bool> isPackage;     // true: only packages; false: no packages
  std::optional<TypeDescriptor> type;

  // Whether a criterion needs an item's Finder information (flags) to be decided.
  bool needsFinderInfo() const { return invisible.has_value() || type.has_value() || isPackage.has_value(); }

  friend bool operator==(const SearchDescriptor&, const SearchDescriptor&) = default;
};

}  // namespace ml::find

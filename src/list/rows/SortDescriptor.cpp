#include "list/rows/SortDescriptor.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <string_view>

#include "list/rows/PathListItem.h"

namespace ml::list {

namespace {

template <class T>
int threeWay(const T& a, const T& b) {
  if (a < b) return -1;
  if (b < a) return 1;
  return 0;
}

// The locale whose collation orders names: the process's, unless it names no language (C,
// POSIX, C.UTF-8, which ICU reads as en_US_POSIX and sorts by code point, capitals first); then
// the root collation, which every language builds on.
icu::Locale collationLocale() {
  const icu::Locale& current = icu::Locale::getDefault();
  const std::string_view variant = current.getVariant();
  if (*current.getLanguage() == '\0' || variant == "POSIX" || std::string_view(current.getName()) == "c") {
    return icu::Locale::getRoot();
  }
  return current;
}

int compareDates(const std::optional<files::Date>& a, const std::optional<files::Date>& b) {
  if (!a || !b) return threeWay(a.has_value(), b.has_value());
  return threeWay(*a, *b);
}

}  // namespace

struct RowOrdering::Collation {
  std::unique_ptr<icu::Collator> collator;
};

std::optional<SortKey> sortKeyNamed(std::string_view key) {
  if (key == "isExpandable") return SortKey::isExpandable;
  if (key == "name") return SortKey::name;
  if (key == "creationDate") return SortKey::creationDate;
  if (key == "lastModifiedDate") return SortKey::lastModifiedDate;
  if (key == "byteCount") return SortKey::byteCount;
  if (key == "fullPath") return SortKey::fullPath;
  if (key == "childCount") return SortKey::childCount;
  return std::nullopt;
}

std::vector<SortDescriptor> withPrimary(const std::vector<SortDescriptor>& current, SortDescriptor primary) {
  std::vector<SortDescriptor> result{primary};
  for (const auto& descriptor : current) {
    if (descriptor.key != primary.key) result.push_back(descriptor);
  }
  return result;
}

RowOrdering::RowOrdering(std::vector<SortDescriptor> descriptors)
    : descriptors_(std::move(descriptors)), collation_(std::make_unique<Collation>()) {
  UErrorCode status = U_ZERO_ERROR;
  collation_->collator.reset(icu::Collator::createInstance(collationLocale(), status));
  if (U_FAILURE(status)) {
    collation_->collator.reset();
    return;
  }
  collation_->collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

RowOrdering::~RowOrdering() = default;

int RowOrdering::compareTexts(std::string_view a, std::string_view b) const {
  if (collation_->collator) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result = collation_->collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                                                 icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status)) return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
  }
  return threeWay(a, b);  // no collation data: byte order still gives a total order
}

const std::string& RowOrdering::locationOf(const PathListItem& row) const {
  auto it = locations_.find(&row);
  if (it == locations_.end()) it = locations_.emplace(&row, row.fullPath()).first;
  return it->second;
}

int RowOrdering::compare(SortKey key, const PathListItem& a, const PathListItem& b) const {
  switch (key) {
    case SortKey::isExpandable: return threeWay(a.isExpandable(), b.isExpandable());
    case SortKey::name: return compareTexts(a.name(), b.name());
    case SortKey::creationDate: return compareDates(a.creationDate(), b.creationDate());
    case SortKey::lastModifiedDate: return compareDates(a.lastModifiedDate(), b.lastModifiedDate());
    case SortKey::byteCount: return threeWay(a.byteCount(), b.byteCount());
    case SortKey::fullPath: return compareTexts(locationOf(a), locationOf(b));
    case SortKey::childCount: return threeWay(a.childCount(), b.childCount());
  }
  return 0;
}

bool RowOrdering::before(const PathListItem& a, const PathListItem& b) const {
  for (const auto& descriptor : descriptors_) {
    int order = compare(descriptor.key, a, b);
    if (order != 0) return descriptor.ascending ? order < 0 : order > 0;
  }
  return false;
}

}  // namespace ml::list

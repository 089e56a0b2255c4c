#include "find/search/ItemFilter.h"

#include "platform/darwin/FinderInfo.h"

namespace ml::find {

using darwin::FinderInfo;

bool ItemFilter::isHidden(const FoundEntry& entry) {
  return entry.name.starts_with('.') || (entry.finderFlags & FinderInfo::kIsInvisible) != 0;
}

bool ItemFilter::isPackage(const FoundEntry& entry) {
  if (!entry.isDirectory) return false;
  bool appName = entry.name.size() > 4 && entry.name.ends_with(".app");
  return appName || (entry.finderFlags & FinderInfo::kHasBundle) != 0;
}

std::string_view ItemFilter::pathExtension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool ItemFilter::accepts(const FoundEntry& entry) const {
  if (const auto& name = criteria_.name) {
    if (name->options.test(entry.name, !name->caseSensitive) == name->negate) return false;
  }
  if (const auto& extension = criteria_.extension) {
    if ((pathExtension(entry.name) == extension->value) == extension->negate) return false;
  }
  if (criteria_.invisible && isHidden(entry) != *criteria_.invisible) return false;
  if (const auto& type = criteria_.type) {
    if (type->isDirectory()) {
      if (!entry.isDirectory) return false;
    } else {
      if (entry.isDirectory) return false;
      const auto* file = type->asFile();
      std::optional<bool> kindHolds;
      switch (file->kind) {
        case files::FileKind::stationery: kindHolds = (entry.finderFlags & FinderInfo::kIsStationery) != 0; break;
        case files::FileKind::alias: kindHolds = (entry.finderFlags & FinderInfo::kIsAlias) != 0; break;
        case files::FileKind::symlink: kindHolds = entry.isSymlink; break;
        default: break;  // kinds without a test of their own pass either way
      }
      if (kindHolds && *kindHolds == file->negated) return false;
    }
  }
  if (criteria_.isPackage && isPackage(entry) != *criteria_.isPackage) return false;
  return true;
}

bool ItemFilter::descendsInto(const FoundEntry& entry) const {
  if (!entry.isDirectory || entry.isSymlink) return false;
  if (criteria_.invisible == false && isHidden(entry)) return false;
  if (!criteria_.includePackageContents && isPackage(entry)) return false;
  return true;
}

}  // namespace ml::find

#include "files/DefaultAttributeViews.h"

#include <algorithm>

#include "files/FileSystem.h"
#include "files/FinderLabels.h"
#include "files/FinderMetadata.h"
#include "files/FolderSize.h"
#include "files/TypeDescriber.h"
#include "platform/darwin/ExtendedAttributes.h"
#include "platform/darwin/FourCharCode.h"
#include "platform/darwin/LocalDirectory.h"

namespace ml::files {

FileSize DefaultBasicAttributes::cancellableTotalSize(std::stop_token stop) const {
  if (isRegularFile()) return {attrs_.totalSize(), attrs_.totalAllocatedSize()};
  if (isDirectory() || attrs_.isPackage()) {
    const auto totals = folderTotals(file_.url(), std::move(stop));
    if (totals.stopped) return FileSize::unknown();
    return {totals.bytes, totals.allocated};
  }
  return FileSize::unknown();
}

DefaultPosixAttributes::DefaultPosixAttributes(Path file, darwin::ItemAttributes attrs)
    : file_(std::move(file)), attrs_(std::move(attrs)) {
  owner_ = darwin::userName(attrs_.owner).value_or("????");
  group_ = darwin::groupName(attrs_.group).value_or("????");
}

std::optional<std::string> DefaultAppleAttributes::comments() const { return readFinderComment(file_.url()); }

bool DefaultAppleAttributes::isStationary() const {
  auto info = darwin::extendedAttribute(file_.url(), "com.apple.FinderInfo");
  return info && info->size() > 8 && ((*info)[8] & 0x08) != 0;
}

FileIcon DefaultAppleAttributes::icon() const { return TypeDescriber::current()->icon(file_.url()); }

// Folders keep their window bounds where files keep the codes, so only files have codes.
std::optional<std::string> DefaultAppleAttributes::creatorCode() const {
  if (attrs_.kind != darwin::ItemKind::regular) return std::nullopt;
  return darwin::fourCharCodeString(attrs_.finderInfo.creatorCode());
}

std::optional<std::string> DefaultAppleAttributes::typeCode() const {
  if (attrs_.kind != darwin::ItemKind::regular) return std::nullopt;
  return darwin::fourCharCodeString(attrs_.finderInfo.typeCode());
}

FinderTags DefaultAppleAttributes::tags() const {
  const auto names = readTagNames(file_.url());
  FinderTags result;
  if (names.empty()) return result;
  // A name the known labels hold brings the label's colour; any other (a custom tag such as
  // "Work") is a tag of its own, without colour.
  const auto labels = finderLabels(false);
  for (const auto& name : names) {
    auto label = std::find_if(labels.begin(), labels.end(), [&](const FinderTag& known) { return known.name == name; });
    result.insert(label != labels.end() ? *label : FinderTag{name, std::nullopt});
  }
  return result;
}

std::optional<std::string> DefaultAppleAttributes::kind() const {
  if (auto description = TypeDescriber::current()->kindDescription(file_.url())) return description;
  return "Unrecognized File Type";
}

FileSize DefaultAppleAttributes::dataSize() const {
  if (attrs_.kind == darwin::ItemKind::regular) return {attrs_.size, attrs_.allocatedSize};
  if (auto basic = file_.fileSystem().basicAttributes(file_)) return basic->totalSize();
  return FileSize::unknown();
}

std::optional<FileSize> DefaultAppleAttributes::resourceSize() const {
  if (attrs_.kind != darwin::ItemKind::regular || attrs_.resourceForkSize == 0) return std::nullopt;
  return FileSize{attrs_.resourceForkSize, attrs_.resourceForkAllocatedSize};
}

bool DefaultAppleAttributes::hasExtendedAttribute(std::string_view name) const {
  return darwin::extendedAttribute(file_.url(), name).has_value();
}

std::optional<Bytes> DefaultAppleAttributes::extendedAttribute(std::string_view name) const {
  return darwin::extendedAttribute(file_.url(), name);
}

}  // namespace ml::files

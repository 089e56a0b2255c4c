#pragma once
// The value an edit carries: absent (for example "no type code"), or one of the kinds the
// fields hold. Which kind each field expects:
//   name, owner, group, typeCode, creatorCode        text (the codes may be absent)
//   hiddenExtension, nameLocked, fileLocked,
//   invisible, stationary                            flag
//   created, modified, accessed                      date
//   tags                                             tag set
//   icon                                             icon
//   ownerPermissions, groupPermissions,
//   globalPermissions                                permission bits
// A value of another kind is kept as given; the apply command refuses it.
#include <optional>
#include <string>
#include <variant>

#include "files/AttributeViews.h"
#include "files/Date.h"
#include "files/FileIcon.h"
#include "files/FilePermissions.h"

namespace ml::info {

using FieldContent = std::variant<std::string, bool, files::Date, files::FinderTags, files::FileIcon, files::FilePermissions>;
using FieldValue = std::optional<FieldContent>;

// The value as a T, or null when it is absent or of another kind.
template <class T>
const T* valueAs(const FieldValue& value) {
  return value ? std::get_if<T>(&*value) : nullptr;
}

// The value as log lines show it: "Optional(\"text\")", "Optional(true)",
// "Optional(2021-05-04T09:00:00.000Z)", ... or "nil" when absent.
std::string debugText(const FieldValue& value);

}  // namespace ml::info

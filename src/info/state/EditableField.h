#pragma once
// The fields of an item an Info window edits. A field's raw value (1 to 18) is the tag of the
// pane control that edits it, so a control's tag maps back to its field.
#include <optional>
#include <string_view>

namespace ml::info {

enum class EditableField : int {
  name = 1,
  icon = 2,
  tags = 3,
  hiddenExtension = 4,
  nameLocked = 5,
  fileLocked = 6,
  invisible = 7,
  stationary = 8,
  created = 9,
  modified = 10,
  accessed = 11,
  owner = 12,
  group = 13,
  ownerPermissions = 14,
  groupPermissions = 15,
  globalPermissions = 16,
  typeCode = 17,
  creatorCode = 18,
};

// The field a control tag names; nullopt for any other tag.
std::optional<EditableField> editableField(int tag);
constexpr int rawValue(EditableField field) { return static_cast<int>(field); }
// The case's name as written above ("hiddenExtension"), for log lines.
std::string_view caseName(EditableField field);

}  // namespace ml::info

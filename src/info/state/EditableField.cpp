#include "info/state/EditableField.h"

namespace ml::info {

std::optional<EditableField> editableField(int tag) {
  if (tag < rawValue(EditableField::name) || tag > rawValue(EditableField::creatorCode)) return std::nullopt;
  return static_cast<EditableField>(tag);
}

std::string_view caseName(EditableField field) {
  switch (field) {
    case EditableField::name: return "name";
    case EditableField::icon: return "icon";
    case EditableField::tags: return "tags";
    case EditableField::hiddenExtension: return "hiddenExtension";
    case EditableField::nameLocked: return "nameLocked";
    case EditableField::fileLocked: return "fileLocked";
    case EditableField::invisible: return "invisible";
    case EditableField::stationary: return "stationary";
    case EditableField::created: return "created";
    case EditableField::modified: return "modified";
    case EditableField::accessed: return "accessed";
    case EditableField::owner: return "owner";
    case EditableField::group: return "group";
    case EditableField::ownerPermissions: return "ownerPermissions";
    case EditableField::groupPermissions: return "groupPermissions";
    case EditableField::globalPermissions: return "globalPermissions";
    case EditableField::typeCode: return "typeCode";
    case EditableField::creatorCode: return "creatorCode";
  }
  return "unknown";
}

}  // namespace ml::info

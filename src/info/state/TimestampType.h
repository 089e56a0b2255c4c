#pragma once
// The timestamp a date adjuster sheet shifts; the raw values are stable (0 to 3).
#include <optional>

#include "info/state/EditableField.h"

namespace ml::info {

enum class TimestampType : int { Creation = 0, Modified = 1, Accessed = 2, LastBackup = 3 };

inline std::optional<TimestampType> timestampType(int rawValue) {
  if (rawValue < 0 || rawValue > 3) return std::nullopt;
  return static_cast<TimestampType>(rawValue);
}

// The timestamp a date field edits: created, modified and accessed; nullopt for other fields.
inline std::optional<TimestampType> timestampType(EditableField field) {
  switch (field) {
    case EditableField::created: return TimestampType::Creation;
    case EditableField::modified: return TimestampType::Modified;
    case EditableField::accessed: return TimestampType::Accessed;
    default: return std::nullopt;
  }
}

}  // namespace ml::info

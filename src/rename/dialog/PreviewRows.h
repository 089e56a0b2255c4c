#pragma once
// The preview's text: one row per item of the dialog, folders included, in order.
#include <optional>
#include <string>
#include <vector>

#include "rename/dialog/RenameDialogState.h"
#include "shell/RenameWindows.h"

namespace ml::rename {

struct PreviewRow {
  std::string oldName;
  // Absent while the settings make no rule; the old name when the rule fails for this item.
  std::optional<std::string> newName;
  friend bool operator==(const PreviewRow&, const PreviewRow&) = default;
};

std::vector<PreviewRow> previewRows(const RenameDialogState& state);

// The items whose name `rule` changes, in order; an item the rule fails for is left out.
std::vector<files::Path> itemsWithNewNames(const std::vector<files::Path>& items, const shell::RenameRule& rule);

}  // namespace ml::rename

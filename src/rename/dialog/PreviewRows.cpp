#include "rename/dialog/PreviewRows.h"

#include "rename/mover/ItemName.h"

namespace ml::rename {

std::vector<PreviewRow> previewRows(const RenameDialogState& state) {
  const auto rule = state.strategy();
  std::vector<PreviewRow> rows;
  rows.reserve(state.items().size());
  for (const auto& item : state.items()) {
    PreviewRow row{itemName(item), std::nullopt};
    if (rule) {
      auto renamed = rule->apply(row.oldName);
      row.newName = renamed ? *renamed : row.oldName;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<files::Path> itemsWithNewNames(const std::vector<files::Path>& items, const shell::RenameRule& rule) {
  std::vector<files::Path> changed;
  for (const auto& item : items) {
    const std::string name = itemName(item);
    auto renamed = rule.apply(name);
    if (renamed && *renamed != name) changed.push_back(item);
  }
  return changed;
}

}  // namespace ml::rename

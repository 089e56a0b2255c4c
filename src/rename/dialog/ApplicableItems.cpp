#include "rename/dialog/ApplicableItems.h"

#include "platform/foundation/LocalizedStrings.h"
#include "rename/StrategyRule.h"
#include "rename/dialog/PreviewRows.h"

namespace ml::rename {

std::int64_t applicableCount(const RenameDialogState& state) {
  auto rule = state.strategy();
  if (!rule) return 0;
  return static_cast<std::int64_t>(itemsWithNewNames(state.items(), StrategyRule(rule)).size());
}

std::string applicableCountText(std::int64_t count) {
  return foundation::localizedString("Items to rename: ") + std::to_string(count);
}

}  // namespace ml::rename

#include "rename/confirmation/RenameConfirmation.h"

#include <cassert>

#include "platform/dispatch/QueueAssert.h"
#include "platform/foundation/LocalizedStrings.h"
#include "platform/logging/Log.h"
#include "rename/mover/ItemName.h"
#include "rename/confirmation/ItemRenamer.h"

namespace ml::rename {

RenameConfirmation::RenameConfirmation(std::vector<files::Path> items, std::shared_ptr<const shell::RenameRule> rule)
    : items_(std::move(items)), rule_(std::move(rule)), finished_(items_.empty() || !rule_) {}

RenameConfirmation::Shown RenameConfirmation::current() const {
  assert(!finished_);
  Shown shown;
  shown.currentName = itemName(items_[index_]);
  shown.progress = static_cast<double>(index_) / static_cast<double>(items_.size()) * 100.0;
  auto newName = rule_->apply(shown.currentName);
  if (!newName) {
    shown.newNameText = foundation::localizedString("Unable to calculate new name");
    return shown;
  }
  shown.newNameText = *newName;
  if (auto problem = fileNameProblem(*newName)) {
    shown.problem = problem->message;
    return shown;
  }
  shown.canRename = true;
  return shown;
}

foundation::Result<files::Path> RenameConfirmation::renameCurrent() {
  ML_ASSERT_MAIN_THREAD();
  assert(!finished_);
  const files::Path& item = items_[index_];
  auto renamed = renameItem(item, *rule_);
  if (!renamed) {
    LOG_ERROR("Failed to move item: " << item.description() << " to new location. error=" << renamed.error().description());
    return renamed;
  }
  results_.emplace_back(item, *renamed);
  advance();
  return renamed;
}

void RenameConfirmation::skip() {
  ML_ASSERT_MAIN_THREAD();
  assert(!finished_);
  advance();
}

std::vector<RenameConfirmation::Failure> RenameConfirmation::renameRemaining() {
  ML_ASSERT_MAIN_THREAD();
  std::vector<Failure> failures;
  for (; !finished_ && index_ < items_.size(); ++index_) {
    const files::Path& item = items_[index_];
    auto renamed = renameItem(item, *rule_);
    if (!renamed) {
      LOG_ERROR("Failed to rename item during batch rename. item=" << item.description()
                                                                   << " error=" << renamed.error().description());
      failures.push_back({item, renamed.error()});
      continue;
    }
    results_.emplace_back(item, *renamed);
  }
  finished_ = true;
  return failures;
}

void RenameConfirmation::advance() {
  if (index_ + 1 >= items_.size()) {
    finished_ = true;
    return;
  }
  ++index_;
}

}  // namespace ml::rename

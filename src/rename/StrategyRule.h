#pragma once
// A renaming rule as the application's rename command takes it (shell::RenameRule).
#include <memory>
#include <string>

#include "rename/rules/RenamingStrategy.h"
#include "shell/RenameWindows.h"

namespace ml::rename {

class StrategyRule final : public shell::RenameRule {
 public:
  explicit StrategyRule(std::shared_ptr<const RenamingStrategy> strategy) : strategy_(std::move(strategy)) {}

  foundation::Result<std::string> apply(const std::string& name) const override { return strategy_->apply(name); }
  const std::shared_ptr<const RenamingStrategy>& strategy() const { return strategy_; }

 private:
  std::shared_ptr<const RenamingStrategy> strategy_;
};

}  // namespace ml::rename

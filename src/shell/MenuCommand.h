#pragma once
// The command the main menu's actions fire on the global store: it turns a menu choice into the
// matching global command, fired on the same store.
#include <memory>
#include <optional>
#include <vector>

#include "files/Path.h"
#include "platform/store/Command.h"
#include "shell/GlobalState.h"

namespace ml::shell {

class MenuCommand final : public store::Command<GlobalState> {
 public:
  enum class Kind { list, fileInfo, finderInfo, preferences };

  static std::shared_ptr<store::Command<GlobalState>> list(std::optional<std::vector<files::Path>> paths = std::nullopt);
  static std::shared_ptr<store::Command<GlobalState>> fileInfo();
  static std::shared_ptr<store::Command<GlobalState>> finderInfo();
  static std::shared_ptr<store::Command<GlobalState>> preferences();

  MenuCommand(Kind kind, std::optional<std::vector<files::Path>> paths) : kind_(kind), paths_(std::move(paths)) {}

  Kind kind() const { return kind_; }
  // The state is not read.
  void execute(const GlobalState& state, store::Core<GlobalState>& core) override;

 private:
  Kind kind_;
  std::optional<std::vector<files::Path>> paths_;
};

}  // namespace ml::shell

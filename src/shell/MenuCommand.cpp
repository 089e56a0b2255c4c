#include "shell/MenuCommand.h"

#include "shell/GlobalCommands.h"

namespace ml::shell {

std::shared_ptr<store::Command<GlobalState>> MenuCommand::list(std::optional<std::vector<files::Path>> paths) {
  return std::make_shared<MenuCommand>(Kind::list, std::move(paths));
}
std::shared_ptr<store::Command<GlobalState>> MenuCommand::fileInfo() {
  return std::make_shared<MenuCommand>(Kind::fileInfo, std::nullopt);
}
std::shared_ptr<store::Command<GlobalState>> MenuCommand::finderInfo() {
  return std::make_shared<MenuCommand>(Kind::finderInfo, std::nullopt);
}
std::shared_ptr<store::Command<GlobalState>> MenuCommand::preferences() {
  return std::make_shared<MenuCommand>(Kind::preferences, std::nullopt);
}

void MenuCommand::execute(const GlobalState&, store::Core<GlobalState>& core) {
  using Global = GlobalCommands<GlobalState>;
  switch (kind_) {
    case Kind::list: core.fire(Global::list(paths_)); break;
    case Kind::fileInfo: core.fire(Global::fileInfo()); break;
    case Kind::finderInfo: core.fire(Global::finderInfo()); break;
    case Kind::preferences: core.fire(Global::showPreferences()); break;
  }
}

}  // namespace ml::shell

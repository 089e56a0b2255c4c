#include "shell/DropAction.h"

namespace ml::shell {

namespace {
constexpr std::array<std::string_view, 9> kRawValues = {"info",  "list",  "rename",  "move", "copy",
                                                        "group", "alias", "similar", "ask"};
// The built-in letters, in the order they are compared.
constexpr std::array<std::pair<std::string_view, DropAction>, 8> kLetters = {{{"I", DropAction::info},
                                                                              {"L", DropAction::list},
                                                                              {"R", DropAction::rename},
                                                                              {"M", DropAction::move},
                                                                              {"C", DropAction::copy},
                                                                              {"G", DropAction::group},
                                                                              {"A", DropAction::alias},
                                                                              {"S", DropAction::similar}}};
}  // namespace

std::string_view rawValue(DropAction action) { return kRawValues[static_cast<std::size_t>(action)]; }

std::optional<DropAction> dropActionFromRawValue(std::string_view raw) {
  for (DropAction action : kAllDropActions) {
    if (rawValue(action) == raw) return action;
  }
  return std::nullopt;
}

std::optional<DropAction> dropActionFromTag(long long tag) {
  if (tag < 0 || tag >= static_cast<long long>(kAllDropActions.size())) return std::nullopt;
  return kAllDropActions[static_cast<std::size_t>(tag)];
}

DropKeys defaultKey(DropAction action) {
  if (action == DropAction::ask) return DropKeys{std::nullopt, ModifierKeys::command};
  for (const auto& [letter, letterAction] : kLetters) {
    if (letterAction == action) return DropKeys{std::string(letter), std::nullopt};
  }
  return {};
}

std::optional<DropAction> defaultAction(const DropKeys& keys) {
  if (!keys.characters) {
    if (keys.modifiers && *keys.modifiers == ModifierKeys::command) return DropAction::ask;
    return std::nullopt;
  }
  std::string upper = *keys.upperCased().characters;
  for (const auto& [letter, action] : kLetters) {
    if (upper == letter) {
      if (keys.modifiers && keys.modifiers->isEmpty()) return action;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool isSupported(DropAction action) {
  switch (action) {
    case DropAction::info:
    case DropAction::list:
    case DropAction::rename:
    case DropAction::move:
    case DropAction::copy:
      return true;
    default:
      return false;
  }
}

std::ostream& operator<<(std::ostream& out, DropAction action) { return out << rawValue(action); }

}  // namespace ml::shell

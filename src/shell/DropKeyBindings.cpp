#include "shell/DropKeyBindings.h"

#include "shell/coding/StoredDropKeyBindings.h"

namespace ml::shell {

using foundation::Error;

foundation::Result<DropKeyBindings> decodeDropKeyBindings(std::span<const std::uint8_t> data) {
  auto stored = decodeStoredDropKeyBindings(data);
  if (!stored) return stored.error();
  DropKeyBindings bindings;
  for (auto& binding : *stored) {
    auto action = dropActionFromRawValue(binding.action);
    if (!action) return Error::make(kDropKeysErrorDomain, 14, "unknown drop action \"" + binding.action + "\"");
    bindings[*action] = std::move(binding.keys);
  }
  return bindings;
}

std::vector<std::uint8_t> encodeDropKeyBindings(const DropKeyBindings& bindings) {
  std::vector<StoredDropKeyBinding> stored;
  stored.reserve(bindings.size());
  for (const auto& [action, keys] : bindings) stored.push_back({std::string(rawValue(action)), keys});
  return encodeStoredDropKeyBindings(stored);
}

std::optional<DropAction> boundAction(const DropKeyBindings& bindings, const DropKeys& held) {
  DropKeys compared = held.upperCased();
  for (const auto& [action, keys] : bindings) {
    if (keys == compared) return action;
  }
  return std::nullopt;
}

std::optional<DropKeys> keysPicking(DropAction action, const DropKeys& binding) {
  if (binding == defaultKey(action)) {
    if (action == DropAction::ask) return DropKeys{std::nullopt, ModifierKeys::command};
    return DropKeys{binding.characters, ModifierKeys()};
  }
  if (!binding.modifiers) return std::nullopt;
  return binding.upperCased();
}

std::optional<DropAction> actionSharingKeys(DropAction action, const DropKeys& binding, const DropKeyBindings& shown) {
  auto keys = keysPicking(action, binding);
  if (!keys) return std::nullopt;
  for (const auto& [other, otherBinding] : shown) {
    if (other != action && keysPicking(other, otherBinding) == keys) return other;
  }
  return std::nullopt;
}

}  // namespace ml::shell

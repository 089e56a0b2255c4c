#include "shell/DropKeyBindings.h"

#include <nlohmann/json.hpp>

namespace ml::shell {

using foundation::Error;

namespace {

// Bindings have been written with the space bar as the word "space" (the binding sheet's display
// name for it), which a held space bar never matched. Letters are stored upper-case, so the
// lower-case word can only mean the space bar: read it as the space it stands for.
DropKeys withSpaceBar(DropKeys keys) {
  if (keys.characters) {
    if (auto at = keys.characters->find("space"); at != std::string::npos) keys.characters->replace(at, 5, " ");
  }
  return keys;
}

}  // namespace

foundation::Result<DropKeyBindings> decodeDropKeyBindings(std::span<const std::uint8_t> data) {
  nlohmann::json json = nlohmann::json::parse(data.begin(), data.end(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return Error::make(kDropKeysErrorDomain, 10, "drop-key bindings are not valid JSON");
  if (!json.is_array()) return Error::make(kDropKeysErrorDomain, 11, "drop-key bindings are not an array");
  if (json.size() % 2 != 0) return Error::make(kDropKeysErrorDomain, 12, "drop-key bindings lack a value");
  DropKeyBindings bindings;
  for (std::size_t i = 0; i < json.size(); i += 2) {
    const auto& key = json[i];
    if (!key.is_string()) return Error::make(kDropKeysErrorDomain, 13, "a drop-key action is not a string");
    auto action = dropActionFromRawValue(key.get_ref<const std::string&>());
    if (!action) {
      return Error::make(kDropKeysErrorDomain, 14, "unknown drop action \"" + key.get<std::string>() + "\"");
    }
    auto keys = DropKeys::fromJson(json[i + 1]);
    if (!keys) return keys.error();
    bindings[*action] = withSpaceBar(*keys);
  }
  return bindings;
}

std::vector<std::uint8_t> encodeDropKeyBindings(const DropKeyBindings& bindings) {
  nlohmann::ordered_json json = nlohmann::ordered_json::array();
  for (const auto& [action, keys] : bindings) {
    json.push_back(std::string(rawValue(action)));
    json.push_back(keys.toJson());
  }
  std::string text = json.dump();
  return {text.begin(), text.end()};
}

std::optional<DropAction> boundAction(const DropKeyBindings& bindings, const DropKeys& held) {
  DropKeys compared = held.upperCased();
  for (const auto& [action, keys] : bindings) {
    if (keys == compared) return action;
  }
  return std::nullopt;
}

}  // namespace ml::shell

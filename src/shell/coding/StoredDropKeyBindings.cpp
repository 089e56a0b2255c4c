#include "shell/coding/StoredDropKeyBindings.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "shell/coding/BoundedJson.h"

namespace ml::shell {

using foundation::Error;

namespace {

DropKeys withSpaceBar(DropKeys keys) {
  if (!keys.characters) return keys;
  constexpr std::string_view kWord = "space";
  std::string_view rest = *keys.characters;
  std::string read;
  for (auto at = rest.find(kWord); at != std::string_view::npos; at = rest.find(kWord)) {
    read.append(rest.substr(0, at)).push_back(' ');
    rest.remove_prefix(at + kWord.size());
  }
  read.append(rest);
  keys.characters = std::move(read);
  return keys;
}

}  // namespace

foundation::Result<std::vector<StoredDropKeyBinding>> decodeStoredDropKeyBindings(std::span<const std::uint8_t> data) {
  auto parsed = parseBoundedJson(data);
  if (!parsed) return Error::make(kDropKeysErrorDomain, 10, "drop-key bindings are " + parsed.error().message);
  const nlohmann::json& json = *parsed;
  if (!json.is_array()) return Error::make(kDropKeysErrorDomain, 11, "drop-key bindings are not an array");
  if (json.size() % 2 != 0) return Error::make(kDropKeysErrorDomain, 12, "drop-key bindings lack a value");
  std::vector<StoredDropKeyBinding> bindings;
  bindings.reserve(json.size() / 2);
  for (std::size_t i = 0; i < json.size(); i += 2) {
    const auto& action = json[i];
    if (!action.is_string()) return Error::make(kDropKeysErrorDomain, 13, "a drop-key action is not a string");
    auto keys = DropKeys::fromJson(json[i + 1]);
    if (!keys) return keys.error();
    bindings.push_back({action.get<std::string>(), withSpaceBar(*keys)});
  }
  return bindings;
}

std::vector<std::uint8_t> encodeStoredDropKeyBindings(const std::vector<StoredDropKeyBinding>& bindings) {
  nlohmann::ordered_json json = nlohmann::ordered_json::array();
  for (const auto& binding : bindings) {
    json.push_back(binding.action);
    json.push_back(binding.keys.toJson());
  }
  std::string text = json.dump();
  return {text.begin(), text.end()};
}

}  // namespace ml::shell

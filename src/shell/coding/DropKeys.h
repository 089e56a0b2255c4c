#pragma once
// A key binding, or the keys held at a drop: the character keys and the modifier keys, each of
// which may be absent. Equality is field by field, an absent field equal only to an absent one.
//
// Coded form (JSON object): "characters" (string) and "modifiers" (the integer raw value), each
// written only when present and read as optional.
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "platform/foundation/Result.h"
#include "shell/coding/ModifierKeys.h"

namespace ml::shell {

struct DropKeys {
  std::optional<std::string> characters;
  std::optional<ModifierKeys> modifiers;

  friend bool operator==(const DropKeys&, const DropKeys&) = default;

  // The same keys with the characters upper-cased (ASCII letters; other characters unchanged).
  DropKeys upperCased() const;

  nlohmann::ordered_json toJson() const;
  // Fails on anything but an object whose members, when present and not null, have the right type
  // ("modifiers" an integer that fits the signed raw value).
  static foundation::Result<DropKeys> fromJson(const nlohmann::json& json);

  // "DropKeys(characters: "L", modifiers: [option])", "nil" for an absent field.
  friend std::ostream& operator<<(std::ostream& out, const DropKeys& keys);
};

// Error domain of undecodable drop keys and bindings.
inline constexpr const char* kDropKeysErrorDomain = "org.marrowlane.DropKeys";

}  // namespace ml::shell

#pragma once
// The "dropkeys" preference value as stored: UTF-8 JSON, a top-level array alternating an action's
// raw value (string) and its DropKeys (object), e.g. ["list",{"characters":"L","modifiers":2}].
// Which raw values name actions is the caller's business (DropKeyBindings); this is the coded form.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"
#include "shell/coding/DropKeys.h"

namespace ml::shell {

struct StoredDropKeyBinding {
  std::string action;
  DropKeys keys;

  friend bool operator==(const StoredDropKeyBinding&, const StoredDropKeyBinding&) = default;
};

// The pairs in stored order. Fails (domain kDropKeysErrorDomain) on text that is not such an array:
// invalid or too deeply nested JSON, an odd number of elements, an action that is not a string, a
// null or malformed binding. The space bar is held as a space; each word "space" standing for it
// in older values reads as the space (letters are stored upper-case, so the lower-case word can
// mean nothing else), which makes decoding an encoded value give the same pairs again.
foundation::Result<std::vector<StoredDropKeyBinding>> decodeStoredDropKeyBindings(std::span<const std::uint8_t> data);
// Compact JSON in the given order. Throws nlohmann::json::type_error for characters that are not
// UTF-8, which JSON text cannot hold (the preferences pane reports that as a failed save).
std::vector<std::uint8_t> encodeStoredDropKeyBindings(const std::vector<StoredDropKeyBinding>& bindings);

}  // namespace ml::shell

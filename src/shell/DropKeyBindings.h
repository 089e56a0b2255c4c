#pragma once
// The user's changed drop-key bindings as the preferences keep them under "dropkeys": UTF-8 JSON,
// a top-level array alternating an action's raw value (string) and its DropKeys (object). Only
// actions whose binding differs from the built-in one appear; order carries no meaning.
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "platform/foundation/Result.h"
#include "shell/DropAction.h"

namespace ml::shell {

// Ordered by declaration order of DropAction, so iteration settles ties the same way every time.
using DropKeyBindings = std::map<DropAction, DropKeys>;

// Fails (domain kDropKeysErrorDomain) where decodeStoredDropKeyBindings does, and on an unknown
// action. An action given twice keeps its last binding.
foundation::Result<DropKeyBindings> decodeDropKeyBindings(std::span<const std::uint8_t> data);
// Compact JSON, pairs in declaration order; throws as encodeStoredDropKeyBindings does.
std::vector<std::uint8_t> encodeDropKeyBindings(const DropKeyBindings& bindings);

// The first action, in declaration order, whose binding equals `held` once its characters are
// upper-cased; modifiers must match exactly (an absent field matching only an absent one).
std::optional<DropAction> boundAction(const DropKeyBindings& bindings, const DropKeys& held);

// The keys a drop must hold to pick `action` through `binding` (what the action's field shows):
// the action's built-in binding stands for its letter with no modifier held (Command alone for
// ask); any other binding for exactly its keys, characters upper-cased. Nothing for a binding no
// drop can hold: one without a modifiers field that is not built in (a drop always reports its
// modifiers).
std::optional<DropKeys> keysPicking(DropAction action, const DropKeys& binding);

// Another action of `shown` (each action's binding as the pane shows it) that the keys of
// `binding` for `action` would also pick, the first in declaration order; nothing when those
// keys are free. Two actions on the same keys cannot both take effect: only one would ever run.
std::optional<DropAction> actionSharingKeys(DropAction action, const DropKeys& binding, const DropKeyBindings& shown);

}  // namespace ml::shell

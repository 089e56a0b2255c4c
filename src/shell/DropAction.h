#pragma once
// What to do with items dropped on the application: chosen from the keys held at the drop.
// Declaration order (info ... ask) is the order of allCases(), of the tags the drop-key pane uses
// and of the choice between user bindings that are equal.
#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "shell/coding/DropKeys.h"

namespace ml::shell {

enum class DropAction { info, list, rename, move, copy, group, alias, similar, ask };

inline constexpr std::array<DropAction, 9> kAllDropActions = {
    DropAction::info,  DropAction::list,  DropAction::rename,  DropAction::move, DropAction::copy,
    DropAction::group, DropAction::alias, DropAction::similar, DropAction::ask};

// The case name, which is also the stored raw value.
std::string_view rawValue(DropAction action);
// The action with exactly that raw value (case-sensitive).
std::optional<DropAction> dropActionFromRawValue(std::string_view raw);
// The action at that position of the declaration order; nothing outside 0...8.
std::optional<DropAction> dropActionFromTag(long long tag);
// The built-in binding: the action's upper-case initial and no modifiers field; ask: Command alone.
DropKeys defaultKey(DropAction action);
// The action built in for `keys`: one letter (any case) with modifiers present and empty, or no
// characters and exactly Command for ask. Anything else gives nothing.
std::optional<DropAction> defaultAction(const DropKeys& keys);
// Whether the action is carried out (group, alias, similar and ask are recognised only).
bool isSupported(DropAction action);

std::ostream& operator<<(std::ostream& out, DropAction action);

}  // namespace ml::shell

#pragma once
// What the application opens when it starts without a drop.
#include <optional>
#include <string_view>

namespace ml::shell {

enum class StartupAction { none, newList, find };

std::string_view rawValue(StartupAction action);
// The action with exactly that raw value; nothing otherwise.
std::optional<StartupAction> startupActionFromRawValue(std::string_view raw);

}  // namespace ml::shell

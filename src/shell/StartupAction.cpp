#include "shell/StartupAction.h"

#include <array>

namespace ml::shell {

namespace {
constexpr std::array<std::string_view, 3> kRawValues = {"none", "newList", "find"};
}

std::string_view rawValue(StartupAction action) { return kRawValues[static_cast<std::size_t>(action)]; }

std::optional<StartupAction> startupActionFromRawValue(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return static_cast<StartupAction>(i);
  }
  return std::nullopt;
}

}  // namespace ml::shell

#include "shell/coding/ModifierKeys.h"

namespace ml::shell {

ModifierKeys::ModifierKeys(std::initializer_list<ModifierKeys> members) {
  for (ModifierKeys member : members) raw_ |= member.raw_;
}

ModifierKeys ModifierKeys::fromPlatform(const appkit::PlatformModifiers& flags) {
  ModifierKeys keys;
  if (flags.control) keys |= command;
  if (flags.alt) keys |= option;
  if (flags.shift) keys |= shift;
  if (flags.meta) keys |= control;
  return keys;
}

std::vector<ModifierKeys> ModifierKeys::members() const {
  std::vector<ModifierKeys> present;
  for (ModifierKeys member : {option, control, command, shift}) {
    if (contains(member)) present.push_back(member);
  }
  return present;
}

std::ostream& operator<<(std::ostream& out, ModifierKeys keys) {
  out << '[';
  const char* separator = "";
  auto name = [](ModifierKeys member) {
    if (member == ModifierKeys::option) return "option";
    if (member == ModifierKeys::control) return "control";
    if (member == ModifierKeys::command) return "command";
    return "shift";
  };
  for (ModifierKeys member : keys.members()) {
    out << separator << name(member);
    separator = ", ";
  }
  ModifierKeys unknown = keys - ModifierKeys({ModifierKeys::option, ModifierKeys::control, ModifierKeys::command,
                                              ModifierKeys::shift});
  if (!unknown.isEmpty()) out << separator << "rawValue: " << unknown.rawValue();
  return out << ']';
}

}  // namespace ml::shell

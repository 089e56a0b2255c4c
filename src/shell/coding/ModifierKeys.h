#pragma once
// The modifier keys of a key binding or of the keys held at a drop, as option bits over a signed
// integer raw value (the raw value is what preferences store). On this platform Command is the
// Ctrl key, Option is Alt, Control is Meta (Super) and Shift is Shift.
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "appkit/values/HeldKeys.h"

namespace ml::shell {

class ModifierKeys {
 public:
  using RawValue = std::int64_t;

  static const ModifierKeys command;  // 1
  static const ModifierKeys option;   // 2
  static const ModifierKeys shift;    // 4
  static const ModifierKeys control;  // 8

  constexpr ModifierKeys() = default;
  constexpr explicit ModifierKeys(RawValue raw) : raw_(raw) {}
  ModifierKeys(std::initializer_list<ModifierKeys> members);

  // Ctrl -> command, Alt -> option, Shift -> shift, Meta -> control; nothing else counts.
  static ModifierKeys fromPlatform(const appkit::PlatformModifiers& flags);

  constexpr RawValue rawValue() const { return raw_; }
  constexpr bool isEmpty() const { return raw_ == 0; }
  constexpr bool contains(ModifierKeys other) const { return (raw_ & other.raw_) == other.raw_; }
  constexpr ModifierKeys operator|(ModifierKeys other) const { return ModifierKeys(raw_ | other.raw_); }
  constexpr ModifierKeys operator&(ModifierKeys other) const { return ModifierKeys(raw_ & other.raw_); }
  constexpr ModifierKeys operator-(ModifierKeys other) const { return ModifierKeys(raw_ & ~other.raw_); }
  ModifierKeys& operator|=(ModifierKeys other) { raw_ |= other.raw_; return *this; }

  // The single-bit members present, in the order option, control, command, shift. Bits outside
  // these four are never yielded.
  std::vector<ModifierKeys> members() const;

  friend constexpr bool operator==(ModifierKeys a, ModifierKeys b) { return a.raw_ == b.raw_; }
  // "[option, command]"; unknown bits print as their raw value.
  friend std::ostream& operator<<(std::ostream& out, ModifierKeys keys);

 private:
  RawValue raw_ = 0;
};

inline constexpr ModifierKeys ModifierKeys::command{1};
inline constexpr ModifierKeys ModifierKeys::option{2};
inline constexpr ModifierKeys ModifierKeys::shift{4};
inline constexpr ModifierKeys ModifierKeys::control{8};

}  // namespace ml::shell

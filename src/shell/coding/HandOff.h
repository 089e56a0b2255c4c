#pragma once
// What a later launch hands to the running instance: the paths it was given (absolute, in order)
// and the keys held when it started. Encoded as compact JSON, each path's bytes outside printable
// ASCII (and "%") percent-encoded so that any file name survives:
//   {"paths":["/a","/b%C3%A9"],"keys":{"characters":"L","modifiers":0}}
// The running instance chooses and runs the drop action itself, with its own preferences.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/foundation/Result.h"
#include "shell/coding/DropKeys.h"

namespace ml::shell {

struct HandOff {
  std::vector<std::string> paths;
  DropKeys keys;

  friend bool operator==(const HandOff&, const HandOff&) = default;

  std::vector<std::uint8_t> encode() const;
  // Fails (domain kHandOffErrorDomain) on anything but the form above with absolute paths free of
  // NUL bytes, and on JSON nested deeper than kMaxJsonDepth; never throws.
  static foundation::Result<HandOff> decode(std::span<const std::uint8_t> bytes);
};

inline constexpr const char* kHandOffErrorDomain = "org.marrowlane.HandOff";

}  // namespace ml::shell

// Feeds arbitrary bytes to the running instance as the hand-off of a later launch: every message
// must decode or give an error, never a crash, a runaway allocation or an exception; what decodes
// must hold only absolute paths free of NUL bytes and survive being encoded and decoded again.
#include <cstddef>
#include <cstdint>
#include <span>

#include "shell/coding/HandOff.h"

using ml::shell::HandOff;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto decoded = HandOff::decode(std::span<const std::uint8_t>(data, size));
  if (!decoded) {
    if (decoded.error().domain != ml::shell::kHandOffErrorDomain) __builtin_trap();
    return 0;
  }
  for (const auto& path : decoded->paths) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) __builtin_trap();
  }
  auto again = HandOff::decode(decoded->encode());
  if (!again || *again != *decoded) __builtin_trap();
  (void)decoded->keys.upperCased();
  return 0;
}

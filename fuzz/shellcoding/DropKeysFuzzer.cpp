// Feeds arbitrary bytes as the stored "dropkeys" preference value: every value must decode or give
// an error, never a crash or an exception. What decodes must give the same bindings once encoded
// and decoded again (the preferences pane writes back what it read), and each binding must upper-case
// and print.
#include <cstddef>
#include <cstdint>
#include <span>
#include <sstream>

#include "shell/coding/StoredDropKeyBindings.h"

using namespace ml::shell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto decoded = decodeStoredDropKeyBindings(std::span<const std::uint8_t>(data, size));
  if (!decoded) {
    if (decoded.error().domain != kDropKeysErrorDomain) __builtin_trap();
    return 0;
  }
  auto again = decodeStoredDropKeyBindings(encodeStoredDropKeyBindings(*decoded));
  if (!again || *again != *decoded) __builtin_trap();
  std::ostringstream printed;
  for (const auto& binding : *decoded) printed << binding.keys.upperCased();
  return 0;
}

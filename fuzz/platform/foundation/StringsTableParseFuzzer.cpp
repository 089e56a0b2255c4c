// Strings tables are read from the resource folder; a damaged file must never crash the lookup.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/foundation/LocalizedStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto table = ml::foundation::StringsTable::parse(
      std::string_view(reinterpret_cast<const char*>(data), size));
  (void)table.lookup("key");
  return 0;
}

// Property lists come from preference files and extended attributes: any bytes must give a value
// or an error. A parsed value must also survive being written and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using ml::foundation::PropertyList;
  auto parsed = PropertyList::parse(std::span<const std::uint8_t>(data, size));
  if (!parsed) return 0;
  if (auto binary = PropertyList::toBinary(*parsed)) {
    auto again = PropertyList::parse(*binary);
    if (!again) std::abort();  // what we write we must be able to read
  }
  (void)PropertyList::toXml(*parsed);
  return 0;
}

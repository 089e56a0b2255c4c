// Feeds arbitrary bytes to the resource fork reader as a fork and as a 'vers' resource.
#include <cstddef>
#include <cstdint>

#include "files/HfsResourceFork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ml::files::Bytes bytes(data, data + size);
  ml::files::HfsResourceFork fork([&bytes] { return std::optional<ml::files::Bytes>(bytes); });
  (void)fork.version();
  (void)fork.resources("STR ", "name");
  (void)fork.resources("ICN#");
  (void)ml::files::HfsResourceFork::decodeVersion(bytes);
  return 0;
}

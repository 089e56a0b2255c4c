// The kernel's memory-pressure text as the crashes service's pressure watch reads it: any bytes
// give a level or nothing, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "beacon/crashes/Internals/TLMemoryPressureSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)ml::beacon::TLMemoryPressureSource::someAverage10(text);
  return 0;
}

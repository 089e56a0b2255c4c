// Feeds arbitrary bytes to the readers of the device record's outside text: the os-release
// parser (the whole input) and the locale-name mapping (the input as a POSIX locale name). Every
// input must give a value, never a crash or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "beacon/core/Context/TLOsRelease.h"
#include "beacon/core/Context/TLSystemInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t sink = 0;
  for (const auto& [key, value] : ml::beacon::TLOsRelease::parse(text)) sink += key.size() + value.size();
  sink += ml::beacon::TLSystemInfo::localeIdentifierFromPosixName(text).size();
  if (auto version = ml::beacon::TLSystemInfo::leadingVersion(text)) sink += version->size();
  asm volatile("" : : "r"(sink) : "memory");  // keeps the reads above from being optimised away
  return 0;
}

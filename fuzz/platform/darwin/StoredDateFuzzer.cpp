// Feeds arbitrary bytes to the reader of a stored creation date; a date it accepts must turn
// into a file-system timestamp and back into the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/darwin/ItemAttributes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto date = ml::darwin::decodeCreationDate(std::span<const uint8_t>(data, size));
  if (!date) return 0;
  const auto t = ml::darwin::timespecOf(*date);
  if (!t || t->tv_nsec < 0 || t->tv_nsec > 999999999) std::abort();
  if (ml::darwin::dateOf(t->tv_sec, t->tv_nsec) != *date) std::abort();
  const std::string text = ml::darwin::encodeCreationDate(*date);
  const auto again = ml::darwin::decodeCreationDate(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  if (again != date) std::abort();
  return 0;
}

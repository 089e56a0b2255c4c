// Mach-O images as outside data: the header and load-command walk, segment and section mapping,
// the UUID, the symbol table reader and both symbol searches, over an image laid out in memory.
#include <cstddef>
#include <cstdint>

#include "FuzzMemory.h"
#include "crashreporter/image/MachOImage.h"
#include "crashreporter/image/MachOSymbolTable.h"
#include "crashreporter/image/ObjCMetadata.h"

using namespace ml::crash;

namespace {

void method(bool, tlcrash_async_macho_string* class_name, tlcrash_async_macho_string* method_name, uint64_t, void*) {
  const char* text;
  uint64_t length;
  if (tlcrash_async_macho_string_get_length(class_name, &length) == TLCRASH_ESUCCESS &&
      tlcrash_async_macho_string_get_pointer(class_name, &text) == TLCRASH_ESUCCESS && length > 0) {
    volatile char last = text[length - 1];
    (void)last;
  }
  tlcrash_async_macho_string_get_length(method_name, &length);
}

void ignore(uint64_t, const char* name, void*) {
  // The name must be readable up to its NUL.
  volatile size_t n = 0;
  while (name[n] != '\0') n = n + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  fuzz::FuzzMemory memory(data, size);
  tlcrash_async_macho image;
  if (tlcrash_nasync_macho_init(&image, tlcrash_async_task_self(), "fuzz", memory.address()) != TLCRASH_ESUCCESS) {
    return 0;
  }
  for (const void* c = tlcrash_async_macho_next_command(&image, nullptr); c != nullptr;
       c = tlcrash_async_macho_next_command(&image, c)) {
  }
  for (const char* segment : {"__TEXT", "__DATA", "__LINKEDIT"}) {
    tlcrash_async_macho_mapped_segment_t mapped;
    if (tlcrash_async_macho_map_segment(&image, segment, &mapped) == TLCRASH_ESUCCESS) {
      tlcrash_async_macho_mapped_segment_free(&mapped);
    }
  }
  tlcrash_async_mobject section;
  if (tlcrash_async_macho_map_section(&image, "__TEXT", "__text", &section) == TLCRASH_ESUCCESS) {
    tlcrash_async_mobject_free(&section);
  }
  uint8_t uuid[16];
  tlcrash_async_macho_uuid(&image, uuid);
  uint64_t address;
  tlcrash_async_macho_find_symbol_by_name(&image, "_main", &address);
  for (uint64_t offset : {uint64_t{0}, uint64_t{0x100}, uint64_t{0x390}, uint64_t{0xFFF}}) {
    tlcrash_async_macho_find_symbol_by_pc(&image, memory.address() + offset, ignore, nullptr);
  }
  // Runtime metadata: the walk follows pointers found in the input.
  tlcrash_async_objc_cache cache;
  tlcrash_async_objc_cache_init(&cache);
  tlcrash_async_objc_find_method(&image, &cache, memory.address() + 0x5b0, method, nullptr);
  tlcrash_async_objc_find_method(&image, &cache, UINT64_MAX, method, nullptr);
  tlcrash_async_objc_cache_free(&cache);
  tlcrash_nasync_macho_free(&image);
  return 0;
}

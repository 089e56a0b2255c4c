#pragma once
// Method lookup by pc in the Objective-C runtime metadata that a Mach-O image carries: the legacy
// form (version 1, __OBJC,__module_info) and the modern form (version 2: the class and category
// lists, read-only class data and method lists in the image's data sections). Classes that the
// runtime has not set up have no read-write data yet and are skipped.
//
// Async-signal-safe: memory objects and task reads only; the class cache is one block from the
// virtual-memory allocator (mmap), made on first use and returned at free; no heap, no locks.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/image/MachOImage.h"
#include "crashreporter/image/MachOString.h"
#include "crashreporter/image/MemoryObject.h"

namespace ml::crash {

// Mask of the class pointer inside a non-pointer isa (arm64 images).
inline constexpr uint64_t TLCRASH_ASYNC_OBJC_ISA_NONPTR_CLASS_MASK = 0x1FFFFFFF8ull;
inline constexpr uint64_t kObjCClassCacheSlots = 1024;

// The runtime metadata cache: the sections of the image searched last (kept mapped while
// consecutive frames fall in the same image) and a cache of class data -> read-only class data.
struct tlcrash_async_objc_cache {
  bool got_objc2_info = false;   // a modern-form walk completed: the legacy form is not tried again
  const tlcrash_async_macho* last_image = nullptr;
  bool objc_const_mapped = false;
  tlcrash_async_mobject objc_const;
  bool class_list_mapped = false;
  tlcrash_async_mobject class_list;
  bool category_list_mapped = false;
  tlcrash_async_mobject category_list;
  bool objc_data_mapped = false;
  tlcrash_async_mobject objc_data;
  uint64_t class_cache_size = 0;     // 0 until the block exists, then kObjCClassCacheSlots
  uint64_t* class_cache_keys = nullptr;
  uint64_t* class_cache_values = nullptr;
};

tlcrash_error_t tlcrash_async_objc_cache_init(tlcrash_async_objc_cache* cache);
void tlcrash_async_objc_cache_free(tlcrash_async_objc_cache* cache);

// true only for arm64, whose isa may carry the class in some of its bits.
bool tlcrash_async_objc_supports_nonptr_isa(uint32_t cpu_type);

using tlcrash_async_objc_found_method_cb = void (*)(bool is_class_method, tlcrash_async_macho_string* class_name,
                                                    tlcrash_async_macho_string* method_name, uint64_t imp,
                                                    void* context);

// Finds the method whose implementation starts closest at or below pc and calls `callback` once
// with it. TLCRASH_ENOTFOUND when the image has no metadata or no method at or below pc;
// TLCRASH_EACCESS without a cache; TLCRASH_EINVALID_DATA for metadata pointing outside its sections.
tlcrash_error_t tlcrash_async_objc_find_method(const tlcrash_async_macho* image, tlcrash_async_objc_cache* cache,
                                               uint64_t pc, tlcrash_async_objc_found_method_cb callback, void* context);

}  // namespace ml::crash

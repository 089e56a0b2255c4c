#include "crashreporter/image/LinkMapWalk.h"

#include <link.h>

namespace ml::crash {

// Crash time.
tlcrash_link_map_walk::tlcrash_link_map_walk(tlcrash_task_t task, uint64_t r_debug_address) : task_(task) {
  if (r_debug_address == 0) r_debug_address = reinterpret_cast<uint64_t>(&_r_debug);
  uint64_t map = 0;
  if (tlcrash_async_task_memcpy(task_, r_debug_address, offsetof(r_debug, r_map), &map, sizeof(map)) ==
      TLCRASH_ESUCCESS) {
    next_ = map;
  }
}

// Crash time.
bool tlcrash_link_map_walk::next(tlcrash_link_map_entry* entry) {
  if (next_ == 0 || steps_ >= kMaxSteps) return false;
  ++steps_;
  // The public head of a link map: l_addr, l_name, l_ld, l_next, l_prev.
  uint64_t fields[4];
  if (tlcrash_async_task_memcpy(task_, next_, 0, fields, sizeof(fields)) != TLCRASH_ESUCCESS) {
    next_ = 0;
    return false;
  }
  entry->bias = fields[0];
  entry->name_address = fields[1];
  entry->dynamic = fields[2];
  next_ = fields[3];
  return true;
}

// Crash time.
bool tlcrash_async_link_map_image(tlcrash_task_t task, const tlcrash_link_map_entry& entry, tlcrash_async_elf* image,
                                  char* name, uint64_t capacity) {
  if (capacity == 0 || entry.bias == 0 || entry.dynamic == 0) return false;
  uint64_t n = 0;
  if (entry.name_address != 0) {
    for (; n + 1 < capacity; ++n) {
      if (tlcrash_async_task_memcpy(task, entry.name_address, static_cast<int64_t>(n), &name[n], 1) != TLCRASH_ESUCCESS ||
          name[n] == '\0') {
        break;
      }
    }
  }
  name[n] = '\0';
  if (tlcrash_async_elf_init(image, task, name, entry.bias) != TLCRASH_ESUCCESS) return false;
  return image->dynamic_addr == entry.dynamic;
}

}  // namespace ml::crash

#pragma once
// Crash-time walk of the dynamic loader's link-map chain (the r_debug list that debuggers read),
// for images loaded after the image list's last sync. Every field is fetched with task reads, so
// a chain left half-changed by a suspended loader thread cannot fault the walk; the walk stops
// after a bounded number of steps, so a looped chain cannot hang it.
//
// Async-signal-safe: task reads only, fixed buffers, no allocation, no locks.
#include <climits>
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/image/ElfImage.h"

namespace ml::crash {

struct tlcrash_link_map_entry {
  uint64_t bias = 0;          // l_addr
  uint64_t dynamic = 0;       // l_ld
  uint64_t name_address = 0;  // l_name
};

class tlcrash_link_map_walk {
 public:
  // Starts before the first entry of the chain of the loader's debug record at `r_debug_address`
  // (0: this process's own record).
  explicit tlcrash_link_map_walk(tlcrash_task_t task, uint64_t r_debug_address = 0);
  // The next entry; false at the end of the chain, on an unreadable entry or after the step limit.
  bool next(tlcrash_link_map_entry* entry);

 private:
  static constexpr uint32_t kMaxSteps = 8192;
  tlcrash_task_t task_;
  uint64_t next_ = 0;
  uint32_t steps_ = 0;
};

// Parses the ELF image of a link-map entry into `image`, its name copied into `name` (cut to
// `capacity` - 1 bytes). The entry is accepted only when the header found at its bias has the
// dynamic section the entry names (which rules out the main program of a fixed-address build,
// whose bias 0 does not locate its header). Async-signal-safe.
bool tlcrash_async_link_map_image(tlcrash_task_t task, const tlcrash_link_map_entry& entry, tlcrash_async_elf* image,
                                  char* name, uint64_t capacity);

}  // namespace ml::crash

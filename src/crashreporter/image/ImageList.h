#pragma once
// The process image list: every image loaded in the task, parsed once when it is added, kept in
// an async_list so that the crash path can walk it without a lock while the loader's add and
// remove updates (normal context, any thread) change it under the list's write lock.
//
// An image record is either ELF (the images of this process) or Mach-O (images read as outside
// data); the format is taken from the magic at the header address. A removed record is unlinked
// but not released: a reader counted in may still hold it. It is reused for a later image once no
// reader is counted in, and released when the list is freed.
//
// tlcrash_nasync_ functions allocate and lock: normal context only. tlcrash_async_ functions are
// async-signal-safe (no allocation, no locks, lock-free atomics only).
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/image/AsyncList.h"
#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/ElfSymbols.h"
#include "crashreporter/image/MachOImage.h"

namespace ml::crash {

enum class tlcrash_image_format : uint8_t { kMachO, kElf };

struct tlcrash_async_image {
  tlcrash_image_format format = tlcrash_image_format::kElf;
  tlcrash_async_macho macho;              // when format is kMachO
  tlcrash_async_elf elf;                  // when format is kElf
  tlcrash_elf_file_symbols elf_file_symbols;
  std::string elf_name;                   // owns elf.name
  async_list<tlcrash_async_image*>::node* node = nullptr;  // the node that carries the record
};

struct tlcrash_async_image_list {
  tlcrash_task_t task = 0;
  async_list<tlcrash_async_image*> list;

  // Writers only (under records_lock): the records this list owns, and the unlinked ones
  // waiting for reuse.
  std::mutex records_lock;
  std::deque<tlcrash_async_image> records;
  std::vector<tlcrash_async_image*> removed;
  // Serialises syncs with the loader; the counters below are its (see LoadedImages.h).
  std::mutex sync_lock;
  unsigned long long loader_adds = 0;
  unsigned long long loader_subs = 0;
  bool synced = false;
};

// Empty list for `task`. Normal context.
void tlcrash_nasync_image_list_init(tlcrash_async_image_list* list, tlcrash_task_t task);
// Parses the image at `header_address` and appends it. A record that cannot be parsed is dropped
// with the line "Unexpected failure initializing Mach-O structure for %s: %d" (or its ELF
// counterpart) and the parse status is returned. Normal context.
tlcrash_error_t tlcrash_nasync_image_list_append(tlcrash_async_image_list* list, uint64_t header_address,
                                                 const char* name);
// Unlinks the first image whose header lies at `header_address`; TLCRASH_ENOTFOUND (with the line
// "Can't find header addr=%llu in Mach-O image list.") when there is none. Normal context.
tlcrash_error_t tlcrash_nasync_image_list_remove(tlcrash_async_image_list* list, uint64_t header_address);
// Releases every record; the list is empty afterwards. No reader may be counted in. Normal context.
void tlcrash_nasync_image_list_free(tlcrash_async_image_list* list);

// Counts a reader in (true) or out (false). Async-signal-safe.
void tlcrash_async_image_list_set_reading(tlcrash_async_image_list* list, bool enable);
// The record after `current` (the first when current is null), null at the end. The caller must
// be counted in. Async-signal-safe.
tlcrash_async_image* tlcrash_async_image_list_next(tlcrash_async_image_list* list, const tlcrash_async_image* current);
// The first record in list order whose code holds `address`, or null. The caller must be counted
// in. Async-signal-safe.
tlcrash_async_image* tlcrash_async_image_containing_address(tlcrash_async_image_list* list, uint64_t address);

// Format-independent views of a record. Async-signal-safe.
uint64_t tlcrash_async_image_header_address(const tlcrash_async_image* image);
uint64_t tlcrash_async_image_text_size(const tlcrash_async_image* image);
const char* tlcrash_async_image_name(const tlcrash_async_image* image);
bool tlcrash_async_image_contains_address(const tlcrash_async_image* image, uint64_t address);
uint32_t tlcrash_async_image_cpu_type(const tlcrash_async_image* image);
uint32_t tlcrash_async_image_cpu_subtype(const tlcrash_async_image* image);
// The image's identifier (Mach-O LC_UUID, ELF build-id); false when it has none.
bool tlcrash_async_image_uuid(const tlcrash_async_image* image, uint8_t uuid[16]);

}  // namespace ml::crash

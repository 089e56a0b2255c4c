#pragma once
// The symbol table of a Mach-O image (LC_SYMTAB, with LC_DYSYMTAB's global and local ranges when
// present), read in place from the image's mapped __LINKEDIT segment, and the searches over it:
// by name, and the best symbol at or below a pc.
//
// Async-signal-safe: no allocation, no locks; __LINKEDIT is mapped into a memory object that the
// reader releases on every path.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/image/MachOImage.h"

namespace ml::crash {

struct tlcrash_async_macho_symtab_entry_t {
  uint32_t n_strx = 0;
  uint8_t n_type = 0;
  uint8_t n_sect = 0;
  uint16_t n_desc = 0;
  uint64_t n_value = 0;            // a 32-bit image's value zero-extended
  uint64_t normalized_value = 0;   // n_value with bit 0 set for a Thumb definition
};

struct tlcrash_async_macho_symtab_reader_t {
  const tlcrash_async_macho* image = nullptr;
  tlcrash_async_macho_mapped_segment_t linkedit;
  const void* symtab = nullptr;     // local pointer; nsyms entries, checked at init
  uint32_t nsyms = 0;
  const void* symtab_global = nullptr;  // null (count 0) without LC_DYSYMTAB
  uint32_t nsyms_global = 0;
  const void* symtab_local = nullptr;
  uint32_t nsyms_local = 0;
  const char* string_table = nullptr;   // local pointer; string_table_size bytes, checked at init
  uint64_t string_table_size = 0;
};

// 0; TLCRASH_ENOTFOUND without LC_SYMTAB; TLCRASH_EINTERNAL when __LINKEDIT or a table cannot be
// mapped; TLCRASH_EINVAL for a short command or LC_DYSYMTAB ranges outside the table.
tlcrash_error_t tlcrash_async_macho_symtab_reader_init(tlcrash_async_macho_symtab_reader_t* reader,
                                                       const tlcrash_async_macho* image);
// Entry `index` of `table` (one of the reader's three tables); the index must be below that
// table's count.
tlcrash_async_macho_symtab_entry_t tlcrash_async_macho_symtab_reader_read(
    const tlcrash_async_macho_symtab_reader_t* reader, const void* table, uint32_t index);
// Local pointer to the NUL-terminated name at n_strx, or null when it does not end inside the
// string table.
const char* tlcrash_async_macho_symtab_reader_symbol_name(const tlcrash_async_macho_symtab_reader_t* reader,
                                                          uint32_t n_strx);
void tlcrash_async_macho_symtab_reader_free(tlcrash_async_macho_symtab_reader_t* reader);

// Address (n_value + slide) of the first section symbol, not a debugging entry, named `name`.
// TLCRASH_ENOTFOUND when there is none.
tlcrash_error_t tlcrash_async_macho_find_symbol_by_name(const tlcrash_async_macho* image, const char* name,
                                                        uint64_t* address);

using tlcrash_async_found_symbol_cb = void (*)(uint64_t address, const char* name, void* context);

// Finds the section symbol closest at or below pc (globals first, then locals that are strictly
// closer) and calls `callback` with its address (normalised value + slide) and name.
// TLCRASH_ENOTFOUND when no symbol lies at or below pc; TLCRASH_EINVAL when its name cannot be read.
tlcrash_error_t tlcrash_async_macho_find_symbol_by_pc(const tlcrash_async_macho* image, uint64_t pc,
                                                      tlcrash_async_found_symbol_cb callback, void* context);

}  // namespace ml::crash

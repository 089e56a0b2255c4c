#pragma once
// Symbol lookup in ELF images of the live process, naming an address as a debugger does: from
// the image file's full symbol table (.symtab, never loaded into memory; for a stripped image the
// one in its detached debug file) when that file still is the build that was loaded, else from the dynamic symbol table (.dynsym, in the image's
// memory). A function symbol names an address only when its extent covers it: st_size bytes from
// its start, or, for a symbol without a size, up to the next function symbol. An address no
// symbol covers gets no name rather than the name of whatever lies below it.
//
// The table is read once in normal context (tlcrash_nasync_elf_file_symbols_init) into a sorted
// index of extents, so the crash-time search is a binary search. The search is async-signal-safe:
// task reads, open/fstat/pread/close for a name held in the file, fixed stack buffers, no
// allocation, no locks.
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "crashreporter/AsyncError.h"
#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/MachOSymbolTable.h"

namespace ml::crash {

// One function symbol of the index: its link-time extent and the offset of its name.
struct tlcrash_elf_symbol_extent {
  uint64_t start = 0;
  uint64_t end = 0;   // one past the last byte it covers
  uint32_t name = 0;  // st_name: in .strtab of the file (index from .symtab) or .dynstr
};

enum class tlcrash_elf_symbol_table : uint8_t { kNone, kDynamic, kFile };

// Where an image's .symtab lies in its file, the identity the file had when it was checked, and
// the index of the table lookups use.
struct tlcrash_elf_file_symbols {
  bool available = false;
  uint64_t symtab_offset = 0;
  uint64_t symtab_size = 0;
  uint64_t symtab_entsize = 0;
  uint64_t strtab_offset = 0;
  uint64_t strtab_size = 0;
  dev_t device = 0;
  ino_t inode = 0;
  off_t file_size = 0;
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;
  // The file holding .symtab: the image's own, or its detached debug file (found by build-id under
  // /usr/lib/debug/.build-id/) when the image is stripped. Opened at crash time for names.
  std::string symtab_path;
  // Function symbols by start address (table order among equal starts); built in normal context
  // and never changed afterwards.
  tlcrash_elf_symbol_table index_table = tlcrash_elf_symbol_table::kNone;
  std::vector<tlcrash_elf_symbol_extent> index;
};

// Locates the .symtab of the file at `path` when that file is the image (same machine and, when
// the image has one, the same build-id). Leaves `symbols` unavailable otherwise: TLCRASH_ENOTFOUND
// when the file has no symbol table or cannot be opened, TLCRASH_EINVAL when it is damaged or
// another build. Either way builds the index: from .symtab when available, else from the image's
// .dynsym. Normal context only (allocates).
tlcrash_error_t tlcrash_nasync_elf_file_symbols_init(tlcrash_elf_file_symbols* symbols, const char* path,
                                                     const tlcrash_async_elf* image);

// Finds the function symbol whose extent covers pc (through the index when `file_symbols` has one,
// else by a scan of .dynsym, where only symbols with a size can name an address) and calls `callback` with its run-time start address and its name
// (at most 255 bytes). Among symbols that start at the same address and cover pc, the smallest
// wins, then the first in table order. TLCRASH_ENOTFOUND when no function symbol covers pc or its
// name can no longer be read. Async-signal-safe.
tlcrash_error_t tlcrash_async_elf_find_symbol_by_pc(const tlcrash_async_elf* image,
                                                    const tlcrash_elf_file_symbols* file_symbols, uint64_t pc,
                                                    tlcrash_async_found_symbol_cb callback, void* context);

}  // namespace ml::crash

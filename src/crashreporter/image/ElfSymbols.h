#pragma once
// Symbol lookup in ELF images of the live process: the dynamic symbol table (.dynsym, in the
// image's memory) and, when the image's file on disk still is the one that was loaded, its full
// symbol table (.symtab, which is never loaded into memory and is read from the file).
//
// The file's table is located once in normal context (tlcrash_nasync_elf_file_symbols_init); the
// search itself is async-signal-safe: task reads, open/fstat/pread/close, fixed stack buffers, no
// allocation, no locks.
#include <cstdint>
#include <sys/types.h>

#include "crashreporter/AsyncError.h"
#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/MachOSymbolTable.h"

namespace ml::crash {

// Where an image's .symtab lies in its file, and the identity the file had when it was checked.
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
};

// Locates the .symtab of the file at `path` when that file is the image (same machine and, when
// the image has one, the same build-id). Leaves `symbols` unavailable otherwise: TLCRASH_ENOTFOUND
// when the file has no symbol table or cannot be opened, TLCRASH_EINVAL when it is damaged or
// another build. Normal context only (allocates).
tlcrash_error_t tlcrash_nasync_elf_file_symbols_init(tlcrash_elf_file_symbols* symbols, const char* path,
                                                     const tlcrash_async_elf* image);

// Finds the function symbol closest at or below pc, first in .dynsym, then in the file's .symtab
// (when given and available; a symbol there must be strictly closer to replace the first), and
// calls `callback` with its run-time address and its name (at most 255 bytes). TLCRASH_ENOTFOUND
// when no function symbol lies at or below pc. Async-signal-safe.
tlcrash_error_t tlcrash_async_elf_find_symbol_by_pc(const tlcrash_async_elf* image,
                                                    const tlcrash_elf_file_symbols* file_symbols, uint64_t pc,
                                                    tlcrash_async_found_symbol_cb callback, void* context);

}  // namespace ml::crash

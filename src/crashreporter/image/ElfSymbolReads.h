#pragma once
// Symbol-table reads shared by the index built in normal context (ElfSymbolIndex.cpp) and the
// crash-time lookup (ElfSymbols.cpp). All of them may run at crash time.
#include <cstddef>
#include <cstdint>
#include <elf.h>

#include "crashreporter/image/ElfImage.h"

namespace ml::crash {

// A defined function (or indirect function) symbol with an address. Crash time.
bool tlcrash_async_elf_symbol_is_function(const Elf64_Sym& s);
// Reads `length` bytes at `offset` of the file; false on a short read. Retries after EINTR.
// Crash time.
bool tlcrash_async_pread_all(int fd, void* out, size_t length, uint64_t offset);
// Reads `count` dynamic symbols from index `first` on into `out`. Crash time.
bool tlcrash_async_elf_read_dynamic_symbols(const tlcrash_async_elf* image, uint64_t first, uint64_t count,
                                            Elf64_Sym* out);
// Whether the image has a readable .dynsym. Crash time.
bool tlcrash_async_elf_has_dynamic_symbols(const tlcrash_async_elf* image);

}  // namespace ml::crash

#pragma once
// Symbol lookup by pc inside one loaded image, under the writer's symbolication strategy: the
// image's symbol table (bit 1: Mach-O LC_SYMTAB, or ELF .dynsym and the file's .symtab) and the
// Objective-C runtime metadata of Mach-O images (bit 2). When both answer, the hit closer to the
// pc wins; on a tie the method name wins, written "+[Class method]" or "-[Class method]".
//
// Async-signal-safe: no allocation, no locks; the symbol cache (the metadata cache) is created
// before a report is written and freed after it, and keeps mapped sections across frames.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/MachOSymbolTable.h"
#include "crashreporter/image/ObjCMetadata.h"

namespace ml::crash {

inline constexpr uint32_t TLCRASH_ASYNC_SYMBOL_STRATEGY_NONE = 0;
inline constexpr uint32_t TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE = 1u << 0;
inline constexpr uint32_t TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC = 1u << 1;
inline constexpr uint32_t TLCRASH_ASYNC_SYMBOL_STRATEGY_ALL =
    TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE | TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC;

inline constexpr size_t kSymbolNameCapacity = 256;  // 255 bytes and the NUL

using tlcrash_async_symbol_cache = tlcrash_async_objc_cache;

tlcrash_error_t tlcrash_async_symbol_cache_init(tlcrash_async_symbol_cache* cache);
void tlcrash_async_symbol_cache_free(tlcrash_async_symbol_cache* cache);

// Calls `callback` with the start address and name (at most 255 bytes) of the function holding
// pc. TLCRASH_ENOTFOUND (after two diagnostic lines) when no enabled search finds one, or the
// symbol-table search's failure.
tlcrash_error_t tlcrash_async_find_symbol(const tlcrash_async_image* image, uint32_t strategy,
                                          tlcrash_async_symbol_cache* cache, uint64_t pc,
                                          tlcrash_async_found_symbol_cb callback, void* context);

}  // namespace ml::crash

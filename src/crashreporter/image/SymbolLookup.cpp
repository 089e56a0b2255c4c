#include "crashreporter/image/SymbolLookup.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

struct LookupState {
  char name[kSymbolNameCapacity];
  bool found;
  uint64_t address;
};

// Both searches report hits at or below the pc, so the higher one is the closer; an equal one
// replaces the earlier hit.
// Crash time.
bool closer(const LookupState* state, uint64_t address) { return !state->found || address >= state->address; }

// Crash time.
void recordSymbol(uint64_t address, const char* name, void* context) {
  auto* state = static_cast<LookupState*>(context);
  if (!closer(state, address)) return;
  size_t n = 0;
  for (; n + 1 < kSymbolNameCapacity && name[n] != '\0'; ++n) state->name[n] = name[n];
  state->name[n] = '\0';
  state->found = true;
  state->address = address;
}

// Appends `length` bytes of `text` at `*at`, keeping room for the NUL.
// Crash time.
void append(char* buffer, size_t* at, const char* text, uint64_t length) {
  for (uint64_t i = 0; i < length && *at + 1 < kSymbolNameCapacity; ++i) buffer[(*at)++] = text[i];
}

// Crash time.
void recordMethod(bool is_class_method, tlcrash_async_macho_string* class_name, tlcrash_async_macho_string* method_name,
                  uint64_t imp, void* context) {
  auto* state = static_cast<LookupState*>(context);
  if (!closer(state, imp)) return;

  uint64_t class_length = 0, method_length = 0;
  const char* class_text = nullptr;
  const char* method_text = nullptr;
  tlcrash_error_t err = tlcrash_async_macho_string_get_length(class_name, &class_length);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_macho_string_get_length(className) error %d", err);
    return;
  }
  if ((err = tlcrash_async_macho_string_get_pointer(class_name, &class_text)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_macho_string_get_pointer(className) error %d", err);
    return;
  }
  if ((err = tlcrash_async_macho_string_get_length(method_name, &method_length)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_macho_string_get_length(methodName) error %d", err);
    return;
  }
  if ((err = tlcrash_async_macho_string_get_pointer(method_name, &method_text)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_macho_string_get_pointer(methodName) error %d", err);
    return;
  }

  size_t at = 0;
  append(state->name, &at, is_class_method ? "+[" : "-[", 2);
  append(state->name, &at, class_text, class_length);
  append(state->name, &at, " ", 1);
  append(state->name, &at, method_text, method_length);
  append(state->name, &at, "]", 1);
  state->name[at] = '\0';
  state->found = true;
  state->address = imp;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_symbol_cache_init(tlcrash_async_symbol_cache* cache) {
  return tlcrash_async_objc_cache_init(cache);
}

// Crash time.
void tlcrash_async_symbol_cache_free(tlcrash_async_symbol_cache* cache) { tlcrash_async_objc_cache_free(cache); }

// Crash time.
tlcrash_error_t tlcrash_async_find_symbol(const tlcrash_async_image* image, uint32_t strategy,
                                          tlcrash_async_symbol_cache* cache, uint64_t pc,
                                          tlcrash_async_found_symbol_cb callback, void* context) {
  LookupState state;
  state.name[0] = '\0';
  state.found = false;
  state.address = 0;

  tlcrash_error_t symbol_err = TLCRASH_ENOTFOUND;
  tlcrash_error_t objc_err = TLCRASH_ENOTFOUND;
  const bool macho = image->format == tlcrash_image_format::kMachO;
  if ((strategy & TLCRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE) != 0) {
    symbol_err = macho ? tlcrash_async_macho_find_symbol_by_pc(&image->macho, pc, recordSymbol, &state)
                       : tlcrash_async_elf_find_symbol_by_pc(&image->elf, &image->elf_file_symbols, pc, recordSymbol,
                                                             &state);
  }
  // ELF images carry no Objective-C metadata.
  if ((strategy & TLCRASH_ASYNC_SYMBOL_STRATEGY_OBJC) != 0 && macho) {
    objc_err = tlcrash_async_objc_find_method(&image->macho, cache, pc, recordMethod, &state);
  }

  if (symbol_err != TLCRASH_ESUCCESS && objc_err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Could not find symbol for PC %llx image %p", static_cast<unsigned long long>(pc),
                 static_cast<const void*>(image));
    TLCRASH_DIAG("tl_async_macho_find_symbol error %d, tl_async_objc_find_method error %d", symbol_err, objc_err);
    return symbol_err;
  }
  if (!state.found) {
    TLCRASH_DIAG("Unexpected error occured in symbol lookup callbacks for PC %llximage %p; returning error",
                 static_cast<unsigned long long>(pc), static_cast<const void*>(image));
    return TLCRASH_EINTERNAL;
  }
  callback(state.address, state.name, context);
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash

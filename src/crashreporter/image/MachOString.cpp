#include "crashreporter/image/MachOString.h"

#include "crashreporter/AsyncDiagnostic.h"

namespace ml::crash {
namespace {

// Crash time.
tlcrash_error_t mapString(tlcrash_async_macho_string* string) {
  if (string->mapped) return TLCRASH_ESUCCESS;
  const uint64_t page = tlcrash_async_page_size();
  for (uint64_t pages = 1; pages <= kMaxMachOStringPages; ++pages) {
    tlcrash_error_t err = tlcrash_async_mobject_init(&string->mobj, string->task, string->address, pages * page, false);
    if (err != TLCRASH_ESUCCESS) return err;
    const auto* bytes = reinterpret_cast<const char*>(static_cast<uintptr_t>(string->mobj.address));
    for (uint64_t i = 0; i < string->mobj.length; ++i) {
      if (bytes[i] == '\0') {
        string->length = i;
        string->mapped = true;
        return TLCRASH_ESUCCESS;
      }
    }
    const bool cut = string->mobj.length < pages * page;  // the readable pages ended first
    tlcrash_async_mobject_free(&string->mobj);
    if (cut) break;
    TLCRASH_DIAG("Mapped a string larger than one page! Remapping ...");
  }
  TLCRASH_DIAG("Failed to remap additional space ...");
  return TLCRASH_EINVAL;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_macho_string_init(tlcrash_async_macho_string* string, tlcrash_task_t task,
                                                uint64_t address) {
  *string = tlcrash_async_macho_string{};
  string->task = task;
  string->address = address;
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_string_get_length(tlcrash_async_macho_string* string, uint64_t* length) {
  tlcrash_error_t err = mapString(string);
  if (err == TLCRASH_ESUCCESS) *length = string->length;
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_string_get_pointer(tlcrash_async_macho_string* string, const char** pointer) {
  if (mapString(string) != TLCRASH_ESUCCESS) return TLCRASH_EACCESS;
  *pointer = reinterpret_cast<const char*>(static_cast<uintptr_t>(string->mobj.address));
  return TLCRASH_ESUCCESS;
}

// Crash time.
void tlcrash_async_macho_string_free(tlcrash_async_macho_string* string) {
  if (string->mapped) tlcrash_async_mobject_free(&string->mobj);
  string->mapped = false;
}

}  // namespace ml::crash

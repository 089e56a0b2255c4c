#include "crashreporter/image/ImageSymbolSource.h"

#include "crashreporter/image/LinkMapWalk.h"

namespace ml::crash {

// Crash time.
ImageSymbolSource::ImageSymbolSource(tlcrash_async_image_list* list, tlcrash_async_symbol_cache* cache,
                                     bool include_unlisted)
    : list_(list), cache_(cache), include_unlisted_(include_unlisted) {}

// Crash time.
void ImageSymbolSource::found(uint64_t address, const char* name, void* context) {
  auto* self = static_cast<ImageSymbolSource*>(context);
  size_t n = 0;
  for (; n + 1 < sizeof(self->name_) && name[n] != '\0'; ++n) self->name_[n] = name[n];
  self->name_[n] = '\0';
  self->address_ = address;
}

// Crash time.
bool ImageSymbolSource::lookupUnlisted(uint64_t pc, uint32_t strategy) {
  tlcrash_link_map_walk walk(list_->task);
  tlcrash_link_map_entry entry;
  while (walk.next(&entry)) {
    bool listed = false;
    for (const tlcrash_async_image* image = tlcrash_async_image_list_next(list_, nullptr); image != nullptr && !listed;
         image = tlcrash_async_image_list_next(list_, image)) {
      listed = image->format == tlcrash_image_format::kElf && image->elf.dynamic_addr == entry.dynamic;
    }
    if (listed) continue;  // its code was already ruled out
    if (!tlcrash_async_link_map_image(list_->task, entry, &scratch_.image.elf, scratch_name_, sizeof(scratch_name_)) ||
        !tlcrash_async_elf_contains_address(&scratch_.image.elf, pc)) {
      continue;
    }
    // Parsed at crash time: its file's symbol table was never located, so .dynsym only.
    scratch_.image.format = tlcrash_image_format::kElf;
    scratch_.image.elf_file_symbols.available = false;
    return tlcrash_async_find_symbol(&scratch_.image, strategy, cache_, pc, found, this) == TLCRASH_ESUCCESS;
  }
  return false;
}

// Crash time.
bool ImageSymbolSource::lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) {
  tlcrash_async_image_list_set_reading(list_, true);
  bool ok = false;
  const tlcrash_async_image* image = tlcrash_async_image_containing_address(list_, pc);
  if (image != nullptr) {
    ok = tlcrash_async_find_symbol(image, strategy, cache_, pc, found, this) == TLCRASH_ESUCCESS;
  } else if (include_unlisted_) {
    ok = lookupUnlisted(pc, strategy);
  }
  tlcrash_async_image_list_set_reading(list_, false);
  if (ok) {
    symbol->name = name_;
    symbol->start_address = address_;
  }
  return ok;
}

}  // namespace ml::crash

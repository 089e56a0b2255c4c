#include "crashreporter/image/ImageListSource.h"

namespace ml::crash {

// Crash time.
ImageListSource::ImageListSource(tlcrash_async_image_list* list, bool include_unlisted)
    : list_(list), include_unlisted_(include_unlisted), walk_(list->task) {}

// Crash time.
void ImageListSource::beginReading() { tlcrash_async_image_list_set_reading(list_, true); }

// Crash time.
void ImageListSource::endReading() { tlcrash_async_image_list_set_reading(list_, false); }

// Crash time.
void ImageListSource::rewind() {
  current_ = nullptr;
  list_done_ = false;
  walk_ = tlcrash_link_map_walk(list_->task);
}

// Crash time.
bool ImageListSource::listed(uint64_t dynamic) const {
  for (const tlcrash_async_image* image = tlcrash_async_image_list_next(list_, nullptr); image != nullptr;
       image = tlcrash_async_image_list_next(list_, image)) {
    if (image->format == tlcrash_image_format::kElf && image->elf.dynamic_addr == dynamic) return true;
  }
  return false;
}

// Crash time.
bool ImageListSource::next(tlcrash_binary_image* out) {
  if (!list_done_) {
    current_ = tlcrash_async_image_list_next(list_, current_);
    if (current_ != nullptr) {
      out->base_address = tlcrash_async_image_header_address(current_);
      out->size = tlcrash_async_image_text_size(current_);
      out->name = tlcrash_async_image_name(current_);
      out->uuid = tlcrash_async_image_uuid(current_, uuid_) ? uuid_ : nullptr;
      out->cpu_type = tlcrash_async_image_cpu_type(current_);
      out->cpu_subtype = tlcrash_async_image_cpu_subtype(current_);
      return true;
    }
    list_done_ = true;
  }
  if (!include_unlisted_) return false;

  tlcrash_link_map_entry entry;
  while (walk_.next(&entry)) {
    if (listed(entry.dynamic)) continue;
    if (!tlcrash_async_link_map_image(list_->task, entry, &scratch_, scratch_name_, sizeof(scratch_name_))) continue;
    out->base_address = scratch_.header_addr;
    out->size = scratch_.text_size;
    out->name = scratch_.name;
    out->uuid = scratch_.has_uuid ? scratch_.uuid : nullptr;
    out->cpu_type = tlcrash_async_elf_cpu_type(&scratch_);
    out->cpu_subtype = tlcrash_async_elf_cpu_subtype(&scratch_);
    return true;
  }
  return false;
}

}  // namespace ml::crash

#include "crashreporter/image/ImageListUnwindLookup.h"

#include "crashreporter/image/LinkMapWalk.h"

namespace ml::crash {
namespace {

tlcrash_unwind_section_t machoSection(const tlcrash_async_macho* image, const char* segment, const char* section) {
  uint64_t address = 0, size = 0;
  if (tlcrash_async_macho_find_section(image, segment, section, &address, &size) != TLCRASH_ESUCCESS) return {0, 0};
  return {address, size};
}

void describeElf(const tlcrash_async_elf* elf, tlcrash_unwind_image_t* out) {
  *out = tlcrash_unwind_image_t{};
  out->header_address = elf->header_addr;
  out->name = elf->name;
  out->cpu_type = tlcrash_async_elf_cpu_type(elf);
  out->is_64bit = true;  // only 64-bit ELF images are parsed
  out->byteorder = &tlcrash_async_byteorder_direct;
  out->eh_frame_hdr = {elf->eh_frame_hdr_addr, elf->eh_frame_hdr_size};
}

}  // namespace

ImageListUnwindLookup::ImageListUnwindLookup(tlcrash_async_image_list* list, bool include_unlisted)
    : list_(list), include_unlisted_(include_unlisted) {}

void ImageListUnwindLookup::beginReading() { tlcrash_async_image_list_set_reading(list_, true); }

void ImageListUnwindLookup::endReading() { tlcrash_async_image_list_set_reading(list_, false); }

bool ImageListUnwindLookup::unlistedImage(uint64_t pc) {
  tlcrash_link_map_walk walk(list_->task);
  tlcrash_link_map_entry entry;
  while (walk.next(&entry)) {
    bool listed = false;
    for (const tlcrash_async_image* image = tlcrash_async_image_list_next(list_, nullptr); image != nullptr && !listed;
         image = tlcrash_async_image_list_next(list_, image)) {
      listed = image->format == tlcrash_image_format::kElf && image->elf.dynamic_addr == entry.dynamic;
    }
    if (listed) continue;
    if (tlcrash_async_link_map_image(list_->task, entry, &scratch_, scratch_name_, sizeof(scratch_name_)) &&
        tlcrash_async_elf_contains_address(&scratch_, pc)) {
      return true;
    }
  }
  return false;
}

bool ImageListUnwindLookup::imageContaining(uint64_t pc, tlcrash_unwind_image_t* out) {
  const tlcrash_async_image* image = tlcrash_async_image_containing_address(list_, pc);
  if (image == nullptr) {
    if (!include_unlisted_ || !unlistedImage(pc)) return false;
    describeElf(&scratch_, out);
    return true;
  }
  if (image->format == tlcrash_image_format::kElf) {
    describeElf(&image->elf, out);
    return true;
  }
  const tlcrash_async_macho* macho = &image->macho;
  *out = tlcrash_unwind_image_t{};
  out->header_address = macho->header_addr;
  out->name = macho->name.c_str();
  out->cpu_type = tlcrash_async_macho_cpu_type(macho);
  out->is_64bit = macho->m64;
  out->byteorder = macho->byteorder;
  out->compact_unwind = machoSection(macho, "__TEXT", "__unwind_info");
  out->eh_frame = machoSection(macho, "__TEXT", "__eh_frame");
  out->debug_frame = machoSection(macho, "__DWARF", "__debug_frame");
  return true;
}

}  // namespace ml::crash

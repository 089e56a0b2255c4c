#include "crashreporter/unwind/ImageListUnwindLookup.h"

#include "crashreporter/AsyncString.h"
#include "crashreporter/image/LinkMapWalk.h"
#include "crashreporter/image/MachOFormat.h"

namespace ml::crash {

namespace {

// Crash time.
void fromElf(const tlcrash_async_elf& elf, tlcrash_unwind_image_t* image) {
  *image = tlcrash_unwind_image_t{};
  image->header_address = elf.header_addr;
  image->name = elf.name;
  image->cpu_type = tlcrash_async_elf_cpu_type(&elf);
  image->is_64bit = true;  // the ELF reader accepts 64-bit little-endian images only
  image->byteorder = tlcrash_async_byteorder_little_endian();
  image->eh_frame_hdr = {elf.eh_frame_hdr_addr, elf.eh_frame_hdr_size};
}

// Crash time.
void fromMachO(const tlcrash_async_macho& macho, tlcrash_unwind_image_t* image) {
  *image = tlcrash_unwind_image_t{};
  image->header_address = macho.header_addr;
  image->name = macho.name.c_str();
  image->cpu_type = tlcrash_async_macho_cpu_type(&macho);
  image->is_64bit = macho.m64;
  image->byteorder = macho.byteorder;
  tlcrash_async_macho_unwind_section(&macho, "__TEXT", "__unwind_info", &image->compact_unwind);
  tlcrash_async_macho_unwind_section(&macho, "__TEXT", "__eh_frame", &image->eh_frame);
  tlcrash_async_macho_unwind_section(&macho, "__DWARF", "__debug_frame", &image->debug_frame);
}

// Crash time.
uint32_t read32(const tlcrash_async_macho* image, const uint8_t* at) {
  uint32_t v;
  tlcrash_async_memcpy(&v, at, sizeof(v));
  return image->byteorder->swap32(v);
}

// Crash time.
uint64_t read64(const tlcrash_async_macho* image, const uint8_t* at) {
  uint64_t v;
  tlcrash_async_memcpy(&v, at, sizeof(v));
  return image->byteorder->swap64(v);
}

}  // namespace

// Crash time.
bool tlcrash_async_macho_unwind_section(const tlcrash_async_macho* image, const char* segname, const char* sectname,
                                        tlcrash_unwind_section_t* section) {
  using namespace macho;
  *section = {0, 0};
  const auto* segment = static_cast<const uint8_t*>(tlcrash_async_macho_find_segment_cmd(image, segname));
  if (segment == nullptr) return false;
  const uint64_t segment_size = image->m64 ? kSegmentCommandSize64 : kSegmentCommandSize32;
  const uint64_t section_size = image->m64 ? kSectionSize64 : kSectionSize32;
  const uint32_t nsects = read32(image, segment + (image->m64 ? kSegmentNsects64 : kSegmentNsects32));
  for (uint32_t i = 0; i < nsects; ++i) {
    const uint64_t offset = segment_size + uint64_t{i} * section_size;
    // Each section record must lie inside its segment command and the mapped load commands.
    if (!tlcrash_async_macho_command_body(image, segment, offset + section_size)) return false;
    const uint8_t* entry = segment + offset;
    if (tlcrash_async_strncmp(reinterpret_cast<const char*>(entry), sectname, kNameLength) != 0) continue;
    const uint64_t addr = image->m64 ? read64(image, entry + kSectionAddr) : read32(image, entry + kSectionAddr);
    const uint64_t size = image->m64 ? read64(image, entry + kSectionAddr + 8) : read32(image, entry + kSectionAddr + 4);
    uint64_t address;
    if (!tlcrash_async_address_apply_offset(addr, image->vmaddr_slide, &address)) return false;
    *section = {address, size};
    return section->present();
  }
  return false;
}

// Crash time.
void ImageListUnwindLookup::beginReading() { tlcrash_async_image_list_set_reading(list_, true); }

// Crash time.
void ImageListUnwindLookup::endReading() { tlcrash_async_image_list_set_reading(list_, false); }

// Crash time.
bool ImageListUnwindLookup::imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) {
  const tlcrash_async_image* record = tlcrash_async_image_containing_address(list_, pc);
  if (record != nullptr) {
    if (record->format == tlcrash_image_format::kElf) fromElf(record->elf, image);
    else fromMachO(record->macho, image);
    return true;
  }
  if (!include_unlisted_) return false;

  // An image the list has not seen yet: the loader's chain still has it.
  tlcrash_link_map_walk walk(list_->task);
  tlcrash_link_map_entry entry;
  while (walk.next(&entry)) {
    if (!tlcrash_async_link_map_image(list_->task, entry, &scratch_, scratch_name_, sizeof(scratch_name_))) continue;
    if (!tlcrash_async_elf_contains_address(&scratch_, pc)) continue;
    fromElf(scratch_, image);
    return true;
  }
  return false;
}

}  // namespace ml::crash

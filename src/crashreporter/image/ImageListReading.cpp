#include "crashreporter/image/ImageList.h"

#include "crashreporter/AsyncString.h"

namespace ml::crash {

// Crash time.
void tlcrash_async_image_list_set_reading(tlcrash_async_image_list* list, bool enable) { list->list.set_reading(enable); }

// Crash time.
tlcrash_async_image* tlcrash_async_image_list_next(tlcrash_async_image_list* list, const tlcrash_async_image* current) {
  auto* n = list->list.next(current != nullptr ? current->node : nullptr);
  return n != nullptr ? n->value : nullptr;
}

// Crash time.
tlcrash_async_image* tlcrash_async_image_containing_address(tlcrash_async_image_list* list, uint64_t address) {
  for (tlcrash_async_image* image = tlcrash_async_image_list_next(list, nullptr); image != nullptr;
       image = tlcrash_async_image_list_next(list, image)) {
    if (tlcrash_async_image_contains_address(image, address)) return image;
  }
  return nullptr;
}

// Crash time.
uint64_t tlcrash_async_image_header_address(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.header_addr : image->elf.header_addr;
}

// Crash time.
uint64_t tlcrash_async_image_text_size(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.text_size : image->elf.text_size;
}

// Crash time.
const char* tlcrash_async_image_name(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.name.c_str() : image->elf.name;
}

// Crash time.
bool tlcrash_async_image_contains_address(const tlcrash_async_image* image, uint64_t address) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_contains_address(&image->macho, address)
                                                       : tlcrash_async_elf_contains_address(&image->elf, address);
}

// Crash time.
uint32_t tlcrash_async_image_cpu_type(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_cpu_type(&image->macho)
                                                       : tlcrash_async_elf_cpu_type(&image->elf);
}

// Crash time.
uint32_t tlcrash_async_image_cpu_subtype(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_cpu_subtype(&image->macho)
                                                       : tlcrash_async_elf_cpu_subtype(&image->elf);
}

// Crash time.
bool tlcrash_async_image_uuid(const tlcrash_async_image* image, uint8_t uuid[16]) {
  if (image->format == tlcrash_image_format::kMachO) return tlcrash_async_macho_uuid(&image->macho, uuid);
  if (!image->elf.has_uuid) return false;
  tlcrash_async_memcpy(uuid, image->elf.uuid, 16);
  return true;
}

}  // namespace ml::crash

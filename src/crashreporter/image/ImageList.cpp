#include "crashreporter/image/ImageList.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

bool isElfMagic(const uint8_t magic[4]) {
  return magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

void releaseRecord(tlcrash_async_image* record) {
  if (record->format == tlcrash_image_format::kMachO) tlcrash_nasync_macho_free(&record->macho);
  *record = tlcrash_async_image{};
}

}  // namespace

void tlcrash_nasync_image_list_init(tlcrash_async_image_list* list, tlcrash_task_t task) { list->task = task; }

tlcrash_error_t tlcrash_nasync_image_list_append(tlcrash_async_image_list* list, uint64_t header_address,
                                                 const char* name) {
  if (name == nullptr) name = "";
  std::lock_guard<std::mutex> lock(list->records_lock);

  uint8_t magic[4];
  tlcrash_error_t err = tlcrash_async_task_memcpy(list->task, header_address, 0, magic, sizeof(magic));
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Unexpected failure initializing Mach-O structure for %s: %d", name, err);
    return err;
  }

  // A removed record may be reused only while no reader can be standing on it.
  tlcrash_async_image* record;
  if (!list->removed.empty() && list->list.readerCount() == 0) {
    record = list->removed.back();
    list->removed.pop_back();
    releaseRecord(record);
  } else {
    record = &list->records.emplace_back();
  }

  if (isElfMagic(magic)) {
    record->format = tlcrash_image_format::kElf;
    record->elf_name = name;
    err = tlcrash_async_elf_init(&record->elf, list->task, record->elf_name.c_str(), header_address);
    if (err == TLCRASH_ESUCCESS) {
      tlcrash_nasync_elf_file_symbols_init(&record->elf_file_symbols, record->elf_name.c_str(), &record->elf);
    } else {
      TLCRASH_DIAG("Unexpected failure initializing ELF structure for %s: %d", name, err);
    }
  } else {
    record->format = tlcrash_image_format::kMachO;
    err = tlcrash_nasync_macho_init(&record->macho, list->task, name, header_address);
    if (err != TLCRASH_ESUCCESS) TLCRASH_DIAG("Unexpected failure initializing Mach-O structure for %s: %d", name, err);
  }
  if (err != TLCRASH_ESUCCESS) {
    releaseRecord(record);
    list->removed.push_back(record);  // never published: free for the next append
    return err;
  }
  list->list.append(record, &record->node);
  return TLCRASH_ESUCCESS;
}

tlcrash_error_t tlcrash_nasync_image_list_remove(tlcrash_async_image_list* list, uint64_t header_address) {
  std::lock_guard<std::mutex> lock(list->records_lock);
  tlcrash_async_image* found = nullptr;
  tlcrash_async_image_list_set_reading(list, true);
  for (tlcrash_async_image* image = tlcrash_async_image_list_next(list, nullptr); image != nullptr;
       image = tlcrash_async_image_list_next(list, image)) {
    if (tlcrash_async_image_header_address(image) == header_address) {
      found = image;
      break;
    }
  }
  tlcrash_async_image_list_set_reading(list, false);
  if (found == nullptr) {
    TLCRASH_DIAG("Can't find header addr=%llu in Mach-O image list.", static_cast<unsigned long long>(header_address));
    return TLCRASH_ENOTFOUND;
  }
  list->list.remove(found->node);
  list->removed.push_back(found);
  return TLCRASH_ESUCCESS;
}

void tlcrash_nasync_image_list_free(tlcrash_async_image_list* list) {
  std::lock_guard<std::mutex> sync(list->sync_lock);
  std::lock_guard<std::mutex> lock(list->records_lock);
  list->loader_adds = 0;
  list->loader_subs = 0;
  list->synced = false;
  list->list.clear();
  for (tlcrash_async_image& record : list->records) releaseRecord(&record);
  list->records.clear();
  list->removed.clear();
}

void tlcrash_async_image_list_set_reading(tlcrash_async_image_list* list, bool enable) { list->list.set_reading(enable); }

tlcrash_async_image* tlcrash_async_image_list_next(tlcrash_async_image_list* list, const tlcrash_async_image* current) {
  auto* n = list->list.next(current != nullptr ? current->node : nullptr);
  return n != nullptr ? n->value : nullptr;
}

tlcrash_async_image* tlcrash_async_image_containing_address(tlcrash_async_image_list* list, uint64_t address) {
  for (tlcrash_async_image* image = tlcrash_async_image_list_next(list, nullptr); image != nullptr;
       image = tlcrash_async_image_list_next(list, image)) {
    if (tlcrash_async_image_contains_address(image, address)) return image;
  }
  return nullptr;
}

uint64_t tlcrash_async_image_header_address(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.header_addr : image->elf.header_addr;
}

uint64_t tlcrash_async_image_text_size(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.text_size : image->elf.text_size;
}

const char* tlcrash_async_image_name(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? image->macho.name.c_str() : image->elf.name;
}

bool tlcrash_async_image_contains_address(const tlcrash_async_image* image, uint64_t address) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_contains_address(&image->macho, address)
                                                       : tlcrash_async_elf_contains_address(&image->elf, address);
}

uint32_t tlcrash_async_image_cpu_type(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_cpu_type(&image->macho)
                                                       : tlcrash_async_elf_cpu_type(&image->elf);
}

uint32_t tlcrash_async_image_cpu_subtype(const tlcrash_async_image* image) {
  return image->format == tlcrash_image_format::kMachO ? tlcrash_async_macho_cpu_subtype(&image->macho)
                                                       : tlcrash_async_elf_cpu_subtype(&image->elf);
}

bool tlcrash_async_image_uuid(const tlcrash_async_image* image, uint8_t uuid[16]) {
  if (image->format == tlcrash_image_format::kMachO) return tlcrash_async_macho_uuid(&image->macho, uuid);
  if (!image->elf.has_uuid) return false;
  tlcrash_async_memcpy(uuid, image->elf.uuid, 16);
  return true;
}

}  // namespace ml::crash

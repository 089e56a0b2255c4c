#include "crashreporter/image/ImageList.h"

#include "crashreporter/AsyncDiagnostic.h"

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

}  // namespace ml::crash

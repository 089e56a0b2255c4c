#include "crashreporter/image/LoadedImages.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <link.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "crashreporter/NeverDestroyed.h"
#include "crashreporter/image/SharedImageList.h"

namespace ml::crash {
namespace {

struct LoadedImage {
  uint64_t header;
  std::string name;
};

struct Listing {
  unsigned long long adds = 0;
  unsigned long long subs = 0;
  bool counted = false;
  bool unchanged = false;
  bool synced_before = false;
  unsigned long long previous_adds = 0;
  unsigned long long previous_subs = 0;
  std::vector<LoadedImage> images;
};

std::string executablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

int collect(dl_phdr_info* info, size_t size, void* context) {
  auto* listing = static_cast<Listing*>(context);
  if (!listing->counted && size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
    listing->counted = true;
    listing->adds = info->dlpi_adds;
    listing->subs = info->dlpi_subs;
    if (listing->synced_before && listing->adds == listing->previous_adds && listing->subs == listing->previous_subs) {
      listing->unchanged = true;
      return 1;  // nothing came or went since the last sync
    }
  }
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && ph.p_offset == 0) {
      LoadedImage image{info->dlpi_addr + ph.p_vaddr, info->dlpi_name != nullptr ? info->dlpi_name : ""};
      listing->images.push_back(std::move(image));
      break;
    }
  }
  return 0;
}

// Constructed before main (namespace scope), so the crash path never runs a guarded initialiser;
// never destroyed, so a crash during exit (a static destructor, a thread still running after main
// returned) still reads a whole list.
NeverDestroyed<tlcrash_async_image_list> g_shared_image_list;
// Handed to the crash path as soon as it exists (SharedImageList.h), so a capture before start
// finds it too (empty).
[[maybe_unused]] const bool g_shared_image_list_published =
    (tlcrash_nasync_shared_image_list_publish(g_shared_image_list.get()), true);
std::mutex g_shared_start_lock;

}  // namespace

int tlcrash_nasync_image_list_sync_loaded(tlcrash_async_image_list* list) {
  std::lock_guard<std::mutex> sync(list->sync_lock);
  Listing listing;
  listing.synced_before = list->synced;
  listing.previous_adds = list->loader_adds;
  listing.previous_subs = list->loader_subs;
  ::dl_iterate_phdr(collect, &listing);
  if (listing.unchanged) return 0;

  // The main program has no name in the loader's list.
  for (LoadedImage& image : listing.images) {
    if (image.name.empty()) image.name = executablePath();
  }

  struct Known {
    uint64_t header;
    std::string name;
  };
  std::vector<Known> known;
  tlcrash_async_image_list_set_reading(list, true);
  for (tlcrash_async_image* image = tlcrash_async_image_list_next(list, nullptr); image != nullptr;
       image = tlcrash_async_image_list_next(list, image)) {
    if (image->format == tlcrash_image_format::kElf) known.push_back({image->elf.header_addr, image->elf_name});
  }
  tlcrash_async_image_list_set_reading(list, false);

  int changes = 0;
  // Gone, or replaced by another file at the same address.
  for (const Known& k : known) {
    bool present = std::any_of(listing.images.begin(), listing.images.end(),
                               [&](const LoadedImage& i) { return i.header == k.header && i.name == k.name; });
    if (!present && tlcrash_nasync_image_list_remove(list, k.header) == TLCRASH_ESUCCESS) ++changes;
  }
  for (const LoadedImage& image : listing.images) {
    bool listed = std::any_of(known.begin(), known.end(),
                              [&](const Known& k) { return k.header == image.header && k.name == image.name; });
    if (!listed && tlcrash_nasync_image_list_append(list, image.header, image.name.c_str()) == TLCRASH_ESUCCESS) {
      ++changes;
    }
  }

  list->loader_adds = listing.adds;
  list->loader_subs = listing.subs;
  list->synced = listing.counted;
  return changes;
}

tlcrash_async_image_list* tlcrash_shared_image_list() { return g_shared_image_list.get(); }

void tlcrash_nasync_shared_image_list_start() {
  std::lock_guard<std::mutex> lock(g_shared_start_lock);
  if (g_shared_image_list->task == 0) tlcrash_nasync_image_list_init(g_shared_image_list.get(), tlcrash_async_task_self());
  tlcrash_nasync_image_list_sync_loaded(g_shared_image_list.get());
}

}  // namespace ml::crash

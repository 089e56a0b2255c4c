#pragma once
// The images of this process: the process-wide image list and its updates from the dynamic
// loader. The loader offers no callbacks for images coming and going, so the list is brought in
// line with the loader's own list (dl_iterate_phdr) by tlcrash_nasync_image_list_sync_loaded: at
// start and whenever the owner asks (cheap when nothing changed: the loader's add and remove
// counters are compared first). Images loaded after the last sync are still found at crash time
// by walking the loader's link-map chain (see LinkMapWalk.h).
#include "crashreporter/AsyncError.h"
#include "crashreporter/image/ImageList.h"

namespace ml::crash {

// Appends the loaded ELF images the list lacks and removes the ELF records whose image is gone
// (Mach-O records are left alone). Returns the number of records added and removed. The main
// program is named by its executable's path. Normal context only (allocates, and the loader holds
// its own lock while it lists the images).
int tlcrash_nasync_image_list_sync_loaded(tlcrash_async_image_list* list);

// The process-wide image list. Usable (empty) before start; the crash path reads it as a counted-in
// reader. Async-signal-safe to obtain.
tlcrash_async_image_list* tlcrash_shared_image_list();
// Initialises the shared list for this process and syncs it; later calls only sync. Normal context.
void tlcrash_nasync_shared_image_list_start();

}  // namespace ml::crash

#pragma once
// The crash path's handle on the process-wide image list (LoadedImages.h). The list itself owns
// heap records and is made and kept up to date in normal context; the crash path only needs its
// address, published here before main.
#include "crashreporter/image/ImageList.h"

namespace ml::crash {

// Makes `list` the one the crash path reads. Normal context.
void tlcrash_nasync_shared_image_list_publish(tlcrash_async_image_list* list);
// The published list, or null when none was (the image list code is not linked in). Crash time.
tlcrash_async_image_list* tlcrash_async_shared_image_list();

}  // namespace ml::crash

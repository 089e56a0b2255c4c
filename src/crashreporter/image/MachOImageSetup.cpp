#include "crashreporter/image/MachOImage.h"

namespace ml::crash {

tlcrash_error_t tlcrash_nasync_macho_init(tlcrash_async_macho* image, tlcrash_task_t task, const char* name,
                                          uint64_t header_address) {
  *image = tlcrash_async_macho{};
  image->task = task;
  image->header_addr = header_address;
  image->name = name != nullptr ? name : "";
  const tlcrash_error_t err = tlcrash_async_macho_parse(image);
  if (err != TLCRASH_ESUCCESS) {
    // The parse gave back its mapping; the name goes too.
    image->name.clear();
    image->name.shrink_to_fit();
  }
  return err;
}

void tlcrash_nasync_macho_free(tlcrash_async_macho* image) {
  tlcrash_async_mobject_free(&image->load_cmds);
  *image = tlcrash_async_macho{};
}

}  // namespace ml::crash

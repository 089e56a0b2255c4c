#pragma once
// The frame readers' view of the image list (UnwindImageLookup): for the image whose code holds a
// pc, where its unwind data lies. Mach-O images give __TEXT,__unwind_info, __TEXT,__eh_frame and
// __DWARF,__debug_frame from their load commands; ELF images give their .eh_frame_hdr (the DWARF
// reader finds .eh_frame through it). An image of the loader's link-map chain that the list
// lacks is parsed on the spot.
//
// Crash time: async-signal-safe (no allocation, no locks). The object holds the scratch record
// for unlisted images, so it belongs to the one thread that walks the stacks.
#include <cstdint>

#include "crashreporter/image/ImageList.h"
#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash {

class ImageListUnwindLookup final : public UnwindImageLookup {
 public:
  explicit ImageListUnwindLookup(tlcrash_async_image_list* list, bool include_unlisted = true);

  void beginReading() override;
  void endReading() override;
  bool imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) override;

 private:
  bool unlistedImage(uint64_t pc);

  tlcrash_async_image_list* list_;
  bool include_unlisted_;
  tlcrash_async_elf scratch_;
  char scratch_name_[1024] = {};
};

}  // namespace ml::crash

#pragma once
// The frame readers' view of the process image list: for a pc, the image that holds it and the
// places of its unwind data. ELF images give their .eh_frame_hdr (the DWARF reader finds
// .eh_frame through it); Mach-O images give __TEXT,__unwind_info, __TEXT,__eh_frame and
// __DWARF,__debug_frame, located from their load commands without copying them. A pc in no
// listed image is looked for in the loader's link-map chain (images loaded after the list's last
// sync), parsed on the spot into a scratch record.
//
// Crash time: async-signal-safe (the list is read as a counted-in reader; task reads only; no
// allocation, no locks). The object holds the scratch record, so it belongs to one walking thread.
#include <cstdint>

#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash {

class ImageListUnwindLookup final : public UnwindImageLookup {
 public:
  // `include_unlisted` false answers from the list's records only (for lists that are not this
  // process's loaded images, such as test lists).
  explicit ImageListUnwindLookup(tlcrash_async_image_list* list, bool include_unlisted = true)
      : list_(list), include_unlisted_(include_unlisted) {}

  void beginReading() override;
  void endReading() override;
  bool imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) override;

 private:
  tlcrash_async_image_list* list_;
  bool include_unlisted_;
  tlcrash_async_elf scratch_;
  char scratch_name_[512] = {};
};

// The target address and size of section `sectname` of segment `segname`, from the image's load
// commands; false when the image has no such section or its entry is damaged. Async-signal-safe.
bool tlcrash_async_macho_unwind_section(const tlcrash_async_macho* image, const char* segname, const char* sectname,
                                        tlcrash_unwind_section_t* section);

}  // namespace ml::crash

#pragma once
// What the frame readers need to know of the loaded image that holds a pc: where its unwind
// data lies and how to read it. The image list adapts itself to this interface (Mach-O images
// give __TEXT,__unwind_info, __TEXT,__eh_frame and __DWARF,__debug_frame; ELF images give
// .eh_frame_hdr and .eh_frame); tests hand in fixed images.
//
// Crash time: every implementation is async-signal-safe (no allocation, no locks beyond the
// image list's reader count) and answers from data prepared beforehand.
#include <cstdint>

#include "crashreporter/AsyncByteOrder.h"

namespace ml::crash {

// A range of the task's memory; length 0 means the image has no such section.
struct tlcrash_unwind_section_t {
  uint64_t address;
  uint64_t length;
  bool present() const { return length != 0; }
};

struct tlcrash_unwind_image_t {
  uint64_t header_address;  // Mach-O header or ELF load address; compact unwind offsets count from it
  const char* name;         // for diagnostics; valid while the lookup is being read
  uint32_t cpu_type;        // CpuType.h
  bool is_64bit;
  const tlcrash_async_byteorder_t* byteorder;
  tlcrash_unwind_section_t compact_unwind;  // __TEXT,__unwind_info
  // May run past the section (to the end of its segment), or be absent when eh_frame_hdr is
  // given: the DWARF reader then takes .eh_frame's address from the header.
  tlcrash_unwind_section_t eh_frame;
  tlcrash_unwind_section_t eh_frame_hdr;    // ELF .eh_frame_hdr (PT_GNU_EH_FRAME)
  tlcrash_unwind_section_t debug_frame;     // __DWARF,__debug_frame
};

class UnwindImageLookup {
 public:

  // Counts the caller in and out as a reader of the image list: between the two calls the
  // images (and the names they point to) stay valid.
  virtual void beginReading() = 0;
  virtual void endReading() = 0;

  // The image whose text holds `pc`; false when no loaded image does. Only between
  // beginReading() and endReading().
  virtual bool imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) = 0;

 protected:
  // Never deleted through this interface (see ThreadSource).
  ~UnwindImageLookup() = default;
};

// Counts in on construction and out on destruction, so every exit path counts out.
class UnwindImageReading {
 public:
  explicit UnwindImageReading(UnwindImageLookup* images) : images_(images) { images_->beginReading(); }
  ~UnwindImageReading() { images_->endReading(); }
  UnwindImageReading(const UnwindImageReading&) = delete;
  UnwindImageReading& operator=(const UnwindImageReading&) = delete;

 private:
  UnwindImageLookup* images_;
};

}  // namespace ml::crash

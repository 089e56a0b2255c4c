#pragma once
// The loaded ELF images of this process as the frame readers see them: a snapshot taken with
// dl_iterate_phdr in normal context, answered from memory at walk time (so it may be used inside
// a signal handler). Each image gives its executable segments, .eh_frame_hdr and .eh_frame.
#include <link.h>

#include <string>
#include <vector>

#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/EhFrameHeader.h"
#include "crashreporter/unwind/LocalMemoryWindow.h"
#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash::test {

class ElfUnwindImages final : public UnwindImageLookup {
 public:
  ElfUnwindImages() { dl_iterate_phdr(&ElfUnwindImages::collect, this); }

  void beginReading() override { ++readers_; }
  void endReading() override { --readers_; }
  int readers() const { return readers_; }
  size_t count() const { return images_.size(); }
  // Leaves only .eh_frame_hdr, as an image list that records no .eh_frame length does.
  void forgetEhFrames() {
    for (Image& image : images_) image.image.eh_frame = {0, 0};
  }

  bool imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) override {
    for (const Image& candidate : images_) {
      for (auto [start, end] : candidate.text) {
        if (pc >= start && pc < end) {
          *image = candidate.image;
          image->name = candidate.name.c_str();
          return true;
        }
      }
    }
    return false;
  }

 private:
  struct Image {
    std::string name;
    std::vector<std::pair<uint64_t, uint64_t>> text;
    tlcrash_unwind_image_t image;
  };

  static int collect(dl_phdr_info* info, size_t, void* self) {
    auto* images = static_cast<ElfUnwindImages*>(self);
    Image entry{};
    entry.name = info->dlpi_name != nullptr ? info->dlpi_name : "";
    entry.image.header_address = info->dlpi_addr;
    entry.image.cpu_type = kTLCrashCpuTypeX86_64;
    entry.image.is_64bit = true;
    entry.image.byteorder = &tlcrash_async_byteorder_direct;
    std::vector<std::pair<uint64_t, uint64_t>> loads;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
      const ElfW(Phdr)& ph = info->dlpi_phdr[i];
      uint64_t start = info->dlpi_addr + ph.p_vaddr;
      if (ph.p_type == PT_LOAD) {
        loads.emplace_back(start, start + ph.p_memsz);
        if ((ph.p_flags & PF_X) != 0) entry.text.emplace_back(start, start + ph.p_memsz);
      } else if (ph.p_type == PT_GNU_EH_FRAME) {
        entry.image.eh_frame_hdr = {start, ph.p_memsz};
      }
    }
    if (entry.image.eh_frame_hdr.present()) {
      auto window = LocalMemoryWindow::ofLocal(reinterpret_cast<const void*>(entry.image.eh_frame_hdr.address),
                                               entry.image.eh_frame_hdr.length);
      eh_frame_hdr_reader<LocalMemoryWindow, uint64_t> header(&tlcrash_async_byteorder_direct);
      if (header.init(&window) == TLCRASH_ESUCCESS) {
        uint64_t eh_frame = header.eh_frame_address();
        // .eh_frame's own length is not recorded anywhere loaded; its segment's end bounds it.
        for (auto [start, end] : loads) {
          if (eh_frame >= start && eh_frame < end) entry.image.eh_frame = {eh_frame, end - eh_frame};
        }
      }
    }
    if (!entry.text.empty()) images->images_.push_back(std::move(entry));
    return 0;
  }

  std::vector<Image> images_;
  int readers_ = 0;
};

}  // namespace ml::crash::test

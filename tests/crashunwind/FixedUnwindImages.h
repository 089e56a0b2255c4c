#pragma once
// An image lookup over images a test describes: text ranges with their unwind sections.
#include <vector>

#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash::test {

class FixedUnwindImages final : public UnwindImageLookup {
 public:
  struct Image {
    uint64_t text_start;
    uint64_t text_end;
    tlcrash_unwind_image_t image;
  };

  void add(uint64_t text_start, uint64_t text_end, const tlcrash_unwind_image_t& image) {
    images_.push_back({text_start, text_end, image});
  }

  void beginReading() override { ++readers_; }
  void endReading() override { --readers_; }
  int readers() const { return readers_; }

  bool imageContaining(uint64_t pc, tlcrash_unwind_image_t* image) override {
    for (const Image& candidate : images_) {
      if (pc >= candidate.text_start && pc < candidate.text_end) {
        *image = candidate.image;
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<Image> images_;
  int readers_ = 0;
};

}  // namespace ml::crash::test

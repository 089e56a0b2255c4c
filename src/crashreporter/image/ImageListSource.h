#pragma once
// The writer's view of the loaded images (ImageSource): the records of an image list in list
// order, then the images of the loader's link-map chain that the list lacks (loaded after its
// last sync), parsed on the spot.
//
// Crash time: every method is async-signal-safe (no allocation, no locks). The object holds the
// scratch record for unlisted images, so it belongs to the one thread that writes the report.
#include <cstdint>

#include "crashreporter/CrashSources.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/LinkMapWalk.h"

namespace ml::crash {

class ImageListSource final : public ImageSource {
 public:
  // `include_unlisted` false reports the list's records only (for lists that are not this
  // process's loaded images, such as test lists).
  explicit ImageListSource(tlcrash_async_image_list* list, bool include_unlisted = true);

  void beginReading() override;
  void endReading() override;
  void rewind() override;
  bool next(tlcrash_binary_image* image) override;

 private:
  bool listed(uint64_t dynamic) const;

  tlcrash_async_image_list* list_;
  bool include_unlisted_;
  const tlcrash_async_image* current_ = nullptr;
  bool list_done_ = false;
  tlcrash_link_map_walk walk_;
  tlcrash_async_elf scratch_;
  char scratch_name_[1024] = {};
  uint8_t uuid_[16] = {};
};

}  // namespace ml::crash

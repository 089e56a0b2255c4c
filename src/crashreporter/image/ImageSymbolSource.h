#pragma once
// The writer's symbol lookup (SymbolSource) over an image list: finds the image whose code holds
// the pc (an image of the loader's link-map chain that the list lacks is parsed on the spot) and
// looks the symbol up there under the writer's strategy, with the symbol cache of this report.
//
// Crash time: async-signal-safe (no allocation, no locks). The returned name lives in this
// object until the next lookup, so the object belongs to the one thread that writes the report.
#include <cstdint>

#include "crashreporter/CrashSources.h"
#include "crashreporter/image/ImageList.h"
#include "crashreporter/image/SymbolLookup.h"

namespace ml::crash {

class ImageSymbolSource final : public SymbolSource {
 public:
  // `cache` must have been initialised and outlive the object; `include_unlisted` as for
  // ImageListSource.
  ImageSymbolSource(tlcrash_async_image_list* list, tlcrash_async_symbol_cache* cache, bool include_unlisted = true);

  bool lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) override;

 private:
  static void found(uint64_t address, const char* name, void* context);
  bool lookupUnlisted(uint64_t pc, uint32_t strategy);

  tlcrash_async_image_list* list_;
  tlcrash_async_symbol_cache* cache_;
  bool include_unlisted_;
  // An image of the link-map chain, parsed on the spot. Its strings and symbol index stay empty
  // (the parse fills plain fields only), so it is never destroyed: its destructor would bring
  // operator delete into the crash path.
  union ScratchImage {
    ScratchImage() : image() {}
    ~ScratchImage() {}
    tlcrash_async_image image;
  } scratch_;
  char scratch_name_[1024] = {};
  char name_[kSymbolNameCapacity] = {};
  uint64_t address_ = 0;
};

}  // namespace ml::crash

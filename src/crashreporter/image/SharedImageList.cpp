#include "crashreporter/image/SharedImageList.h"

#include <atomic>

namespace ml::crash {
namespace {
std::atomic<tlcrash_async_image_list*> g_published{nullptr};
}  // namespace

// Crash time.
void tlcrash_nasync_shared_image_list_publish(tlcrash_async_image_list* list) {
  g_published.store(list, std::memory_order_release);
}

// Crash time.
tlcrash_async_image_list* tlcrash_async_shared_image_list() { return g_published.load(std::memory_order_acquire); }

}  // namespace ml::crash

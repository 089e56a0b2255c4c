#include "crashreporter/AsyncReadCache.h"

#include <atomic>
#include <pthread.h>

#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

constexpr uint64_t kCachePageSize = 4096;
// Direct-mapped by page number: enough for the stacks of a few dozen threads and the unwind
// tables of the images their frames run in.
constexpr size_t kCachedPages = 64;

struct CachedPage {
  bool valid;
  uint64_t address;
  uint8_t bytes[kCachePageSize];
};

CachedPage g_pages[kCachedPages];
std::atomic<bool> g_cache_on{false};
// Written before g_cache_on is set and read after it is seen set (release / acquire).
pthread_t g_owner;
tlcrash_task_t g_task = 0;

// The cached page holding `address`, read in whole on a miss; null when it cannot be read.
// Crash time.
const CachedPage* cachedPage(uint64_t address) {
  const uint64_t page = address & ~(kCachePageSize - 1);
  CachedPage& slot = g_pages[(page / kCachePageSize) % kCachedPages];
  if (slot.valid && slot.address == page) return &slot;
  slot.valid = false;
  if (tlcrash_async_read_addr_uncached(g_task, page, slot.bytes, kCachePageSize) != 0) return nullptr;
  slot.address = page;
  slot.valid = true;
  return &slot;
}

}  // namespace

// Crash time.
void tlcrash_async_read_cache_begin() {
  for (CachedPage& page : g_pages) page.valid = false;
  g_owner = ::pthread_self();
  g_task = tlcrash_async_task_self();
  g_cache_on.store(true, std::memory_order_release);
}

// Crash time.
void tlcrash_async_read_cache_end() { g_cache_on.store(false, std::memory_order_release); }

// Crash time.
bool tlcrash_async_read_cache_copy(tlcrash_task_t task, uint64_t address, void* destination, size_t length) {
  if (!g_cache_on.load(std::memory_order_acquire) || task != g_task || !::pthread_equal(g_owner, ::pthread_self())) {
    return false;
  }
  auto* out = static_cast<uint8_t*>(destination);
  size_t done = 0;
  while (done < length) {
    uint64_t at;
    if (__builtin_add_overflow(address, static_cast<uint64_t>(done), &at)) return false;
    const CachedPage* page = cachedPage(at);
    if (page == nullptr) return false;
    const uint64_t into = at - page->address;
    const size_t n = static_cast<size_t>(kCachePageSize - into < length - done ? kCachePageSize - into : length - done);
    tlcrash_async_memcpy(out + done, page->bytes + into, n);
    done += n;
  }
  return true;
}

}  // namespace ml::crash

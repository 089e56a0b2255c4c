#include "crashreporter/AsyncReadCache.h"

#include <atomic>
#include <pthread.h>

#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

constexpr uint64_t kCachePageSize = 4096;
// Sets of kWays pages, a page's set picked by a hash of its number: thread stacks lie at the same
// offsets of equally aligned mappings, and a plain modulo would put all their pages in one set.
// 64 pages hold the stacks of a few dozen threads and the unwind tables their frames read.
constexpr size_t kWays = 4;
constexpr size_t kSetBits = 4;
constexpr size_t kSets = size_t{1} << kSetBits;

struct CachedPage {
  bool valid;
  uint64_t address;
  uint64_t used;  // the capture's use count when last read: the least recently used page goes
  uint8_t bytes[kCachePageSize];
};

CachedPage g_pages[kSets][kWays];
uint64_t g_uses = 0;  // the owner's only
std::atomic<bool> g_cache_on{false};
uint64_t g_capture = 0;  // the owner's only; written before g_cache_on is set
// Written before g_cache_on is set and read after it is seen set (release / acquire).
pthread_t g_owner;
tlcrash_task_t g_task = 0;

// The cached page holding `address`, read in whole on a miss; null when it cannot be read.
// Crash time.
const CachedPage* cachedPage(uint64_t address) {
  const uint64_t page = address & ~(kCachePageSize - 1);
  const size_t set = static_cast<size_t>(((page / kCachePageSize) * 0x9E3779B97F4A7C15ull) >> (64 - kSetBits));
  CachedPage* oldest = &g_pages[set][0];
  for (CachedPage& slot : g_pages[set]) {
    if (slot.valid && slot.address == page) {
      slot.used = ++g_uses;
      return &slot;
    }
    if (!slot.valid || (oldest->valid && slot.used < oldest->used)) oldest = &slot;
  }
  oldest->valid = false;
  if (tlcrash_async_read_addr_uncached(g_task, page, oldest->bytes, kCachePageSize) != 0) return nullptr;
  oldest->address = page;
  oldest->used = ++g_uses;
  oldest->valid = true;
  return oldest;
}

}  // namespace

// Crash time.
void tlcrash_async_read_cache_begin() {
  for (auto& set : g_pages) {
    for (CachedPage& page : set) page.valid = false;
  }
  g_uses = 0;
  ++g_capture;
  g_owner = ::pthread_self();
  g_task = tlcrash_async_task_self();
  g_cache_on.store(true, std::memory_order_release);
}

// Crash time.
void tlcrash_async_read_cache_end() { g_cache_on.store(false, std::memory_order_release); }

// Crash time.
uint64_t tlcrash_async_read_cache_capture() {
  if (!g_cache_on.load(std::memory_order_acquire) || !::pthread_equal(g_owner, ::pthread_self())) return 0;
  return g_capture;
}

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

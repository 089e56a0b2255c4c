#pragma once
// Byte-order accessor tables. An image reader keeps one table per image and reads every
// multi-byte field through it: the direct table for images in the host's (little-endian) order,
// the swapped table for big-endian images. Async-signal-safe: plain arithmetic.
#include <cstdint>

namespace ml::crash {

struct tlcrash_async_byteorder_t {
  uint16_t (*swap16)(uint16_t);
  uint32_t (*swap32)(uint32_t);
  uint64_t (*swap64)(uint64_t);
};

uint16_t tlcr_nswap16(uint16_t value);
uint32_t tlcr_nswap32(uint32_t value);
uint64_t tlcr_nswap64(uint64_t value);
uint16_t tlcr_swap16(uint16_t value);
uint32_t tlcr_swap32(uint32_t value);
uint64_t tlcr_swap64(uint64_t value);

extern const tlcrash_async_byteorder_t tlcrash_async_byteorder_direct;
extern const tlcrash_async_byteorder_t tlcrash_async_byteorder_swapped;

// This program runs on little-endian hosts only, so little-endian data needs no swapping.
const tlcrash_async_byteorder_t* tlcrash_async_byteorder_little_endian();
const tlcrash_async_byteorder_t* tlcrash_async_byteorder_big_endian();

}  // namespace ml::crash

#include "crashreporter/AsyncByteOrder.h"

#include <bit>

static_assert(std::endian::native == std::endian::little, "the byte-order tables assume a little-endian host");

namespace ml::crash {

// Crash time.
uint16_t tlcr_nswap16(uint16_t value) { return value; }
// Crash time.
uint32_t tlcr_nswap32(uint32_t value) { return value; }
// Crash time.
uint64_t tlcr_nswap64(uint64_t value) { return value; }
// Crash time.
uint16_t tlcr_swap16(uint16_t value) { return __builtin_bswap16(value); }
// Crash time.
uint32_t tlcr_swap32(uint32_t value) { return __builtin_bswap32(value); }
// Crash time.
uint64_t tlcr_swap64(uint64_t value) { return __builtin_bswap64(value); }

const tlcrash_async_byteorder_t tlcrash_async_byteorder_direct = {tlcr_nswap16, tlcr_nswap32, tlcr_nswap64};
const tlcrash_async_byteorder_t tlcrash_async_byteorder_swapped = {tlcr_swap16, tlcr_swap32, tlcr_swap64};

// Crash time.
const tlcrash_async_byteorder_t* tlcrash_async_byteorder_little_endian() { return &tlcrash_async_byteorder_direct; }
// Crash time.
const tlcrash_async_byteorder_t* tlcrash_async_byteorder_big_endian() { return &tlcrash_async_byteorder_swapped; }

}  // namespace ml::crash

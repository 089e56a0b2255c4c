#pragma once
// LEB128 and fixed-width readers of DWARF call frame data. The window variants read through a
// MemoryReader; the task variants read straight from a task, for values whose location is only
// known at unwind time (the length prefix of a register rule's expression).
//
// In every reader the value is at location + offset (offset signed); *size receives the number
// of bytes consumed from that point. All of them are async-signal-safe: no allocation, no locks.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

// At most ten bytes; bits of the tenth byte above bit 63 are dropped. TLCRASH_ENOTSUP when the
// value runs past ten bytes, TLCRASH_EINVAL when a byte lies outside the window.
template <MemoryReader M>
tlcrash_error_t tlcrash_async_dwarf_read_uleb128(M& mobj, uint64_t location, int64_t offset, uint64_t* result,
                                                 uint64_t* size) {
  uint64_t value = 0;
  for (uint32_t i = 0;; ++i) {
    uint8_t byte;
    uint64_t at;
    if (!tlcrash_async_address_apply_offset(location, offset, &at) ||
        mobj.read(at, static_cast<int64_t>(i), &byte, 1) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("ULEB128 value did not terminate within mapped memory range");
      return TLCRASH_EINVAL;
    }
    value |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if ((byte & 0x80) == 0) {
      *result = value;
      *size = i + 1;
      return TLCRASH_ESUCCESS;
    }
    if (7 * (i + 1) >= 64) {
      TLCRASH_DIAG("ULEB128 is larger than the maximum supported size of 64 bits");
      return TLCRASH_ENOTSUP;
    }
  }
}

// As the ULEB128 reader; a terminating byte with bit 6 set extends the sign over the bits not filled.
template <MemoryReader M>
tlcrash_error_t tlcrash_async_dwarf_read_sleb128(M& mobj, uint64_t location, int64_t offset, int64_t* result,
                                                 uint64_t* size) {
  uint64_t value = 0;
  for (uint32_t i = 0;; ++i) {
    uint8_t byte;
    uint64_t at;
    if (!tlcrash_async_address_apply_offset(location, offset, &at) ||
        mobj.read(at, static_cast<int64_t>(i), &byte, 1) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("SLEB128 value did not terminate within mapped memory range");
      return TLCRASH_EINVAL;
    }
    value |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    uint32_t filled = 7 * (i + 1);
    if ((byte & 0x80) == 0) {
      if ((byte & 0x40) != 0 && filled <= 63) value |= ~UINT64_C(0) << filled;
      *result = static_cast<int64_t>(value);
      *size = i + 1;
      return TLCRASH_ESUCCESS;
    }
    if (filled >= 64) {
      TLCRASH_DIAG("SLEB128 is larger than the maximum supported size of 64 bits");
      return TLCRASH_ENOTSUP;
    }
  }
}

// The same readers over up to a page of the task starting at location + offset.
tlcrash_error_t tlcrash_async_dwarf_read_task_uleb128(tlcrash_task_t task, uint64_t location, int64_t offset,
                                                      uint64_t* result, uint64_t* size);
tlcrash_error_t tlcrash_async_dwarf_read_task_sleb128(tlcrash_task_t task, uint64_t location, int64_t offset,
                                                      int64_t* result, uint64_t* size);

// An unsigned value of 1, 2, 4 or 8 bytes, swapped by the byte order and zero-extended.
// TLCRASH_EINVAL when it lies outside the window or the width is another.
template <MemoryReader M>
tlcrash_error_t tlcrash_async_dwarf_read_uintmax64(M& mobj, const tlcrash_async_byteorder_t* byteorder,
                                                   uint64_t location, int64_t offset, uint8_t data_size,
                                                   uint64_t* result) {
  switch (data_size) {
    case 1: {
      uint8_t v;
      if (tlcrash_async_reader_read_uint8(mobj, location, offset, &v) != TLCRASH_ESUCCESS) return TLCRASH_EINVAL;
      *result = v;
      return TLCRASH_ESUCCESS;
    }
    case 2: {
      uint16_t v;
      if (tlcrash_async_reader_read_uint16(mobj, byteorder, location, offset, &v) != TLCRASH_ESUCCESS) return TLCRASH_EINVAL;
      *result = v;
      return TLCRASH_ESUCCESS;
    }
    case 4: {
      uint32_t v;
      if (tlcrash_async_reader_read_uint32(mobj, byteorder, location, offset, &v) != TLCRASH_ESUCCESS) return TLCRASH_EINVAL;
      *result = v;
      return TLCRASH_ESUCCESS;
    }
    case 8: {
      uint64_t v;
      if (tlcrash_async_reader_read_uint64(mobj, byteorder, location, offset, &v) != TLCRASH_ESUCCESS) return TLCRASH_EINVAL;
      *result = v;
      return TLCRASH_ESUCCESS;
    }
    default:
      TLCRASH_DIAG("Unhandled data width %llu", static_cast<unsigned long long>(data_size));
      return TLCRASH_EINVAL;
  }
}

}  // namespace ml::crash

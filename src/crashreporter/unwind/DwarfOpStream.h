#pragma once
// A read cursor over a range of DWARF opcodes (call frame instructions or a location
// expression) inside a memory window: [start, end) in target addresses, a position counted from
// start, and the byte order of multi-byte operands. Every read stays inside the range; one that
// would leave it fails and leaves the position where it was.
//
// Async-signal-safe: no allocation, no locks. Borrows the window.
#include <cstdint>
#include <type_traits>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

template <MemoryReader M>
class dwarf_opstream {
 public:
  // Opens [address + offset, + length). TLCRASH_EINVAL when a bound overflows or the range is
  // not wholly inside the window.
  tlcrash_error_t init(M* mobj, const tlcrash_async_byteorder_t* byteorder, uint64_t address, int64_t offset,
                       uint64_t length) {
    mobj_ = mobj;
    byteorder_ = byteorder;
    position_ = 0;
    if (!tlcrash_async_address_apply_offset(address, offset, &start_)) {
      TLCRASH_DIAG("Offset overflows base address");
      return TLCRASH_EINVAL;
    }
    if (static_cast<int64_t>(length) < 0 || __builtin_add_overflow(start_, length, &end_)) {
      TLCRASH_DIAG("Length overflows base address");
      return TLCRASH_EINVAL;
    }
    if (!tlcrash_async_reader_contains(*mobj, start_, 0, length)) {
      TLCRASH_DIAG("Could not map the DWARF instructions; range falls outside mapped pages");
      return TLCRASH_EINVAL;
    }
    return TLCRASH_ESUCCESS;
  }

  // A fixed-size unsigned operand of sizeof(T) bytes (1, 2, 4 or 8), swapped by the byte order.
  template <typename T>
  bool read_intU(T* result) {
    static_assert(std::is_unsigned_v<T> && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
    if (remaining() < sizeof(T)) {
      TLCRASH_DIAG("Read of size %zu exceeds mapped range", sizeof(T));
      return false;
    }
    uint64_t value;
    if (tlcrash_async_dwarf_read_uintmax64(*mobj_, byteorder_, start_, static_cast<int64_t>(position_),
                                           static_cast<uint8_t>(sizeof(T)), &value) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Read of size %zu exceeds mapped range", sizeof(T));
      return false;
    }
    *result = static_cast<T>(value);
    position_ += sizeof(T);
    return true;
  }

  bool read_uleb128(uint64_t* result) {
    uint64_t size;
    tlcrash_error_t err = tlcrash_async_dwarf_read_uleb128(*mobj_, start_, static_cast<int64_t>(position_), result, &size);
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Read of ULEB128 value failed with %u", static_cast<unsigned>(err));
      return false;
    }
    if (size > remaining()) {
      TLCRASH_DIAG("ULEB128 value extends past end of opstream");
      return false;
    }
    position_ += size;
    return true;
  }

  bool read_sleb128(int64_t* result) {
    uint64_t size;
    tlcrash_error_t err = tlcrash_async_dwarf_read_sleb128(*mobj_, start_, static_cast<int64_t>(position_), result, &size);
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Read of SLEB128 value failed with %u", static_cast<unsigned>(err));
      return false;
    }
    if (size > remaining()) {
      TLCRASH_DIAG("SLEB128 value extends past end of opstream");
      return false;
    }
    position_ += size;
    return true;
  }

  template <typename machine_ptr>
  bool read_gnueh_ptr(const gnu_ehptr_reader<machine_ptr>* reader, uint8_t encoding, machine_ptr* result) {
    uint64_t size;
    tlcrash_error_t err = reader->read(*mobj_, start_, static_cast<int64_t>(position_), encoding, result, &size);
    if (err != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Read of GNU EH pointer value failed with %u", static_cast<unsigned>(err));
      return false;
    }
    if (static_cast<int64_t>(size) < 0) {
      TLCRASH_DIAG("GNU EH pointer size exceeds our maximum supported offset size");
      return false;
    }
    if (size > remaining()) {
      TLCRASH_DIAG("GNU EH pointer value extends past end of opstream");
      return false;
    }
    position_ += size;
    return true;
  }

  // Moves the position by `delta` when the result stays within [0, length]; false otherwise.
  bool skip(int64_t delta) {
    uint64_t target;
    if (!tlcrash_async_address_apply_offset(position_, delta, &target) || target > length()) return false;
    position_ = target;
    return true;
  }

  bool at_end() const { return position_ >= length(); }
  uint64_t position() const { return position_; }
  uint64_t length() const { return end_ - start_; }
  uint64_t remaining() const { return length() - position_; }
  uint64_t start() const { return start_; }
  // Target address of the current position.
  uint64_t address() const { return start_ + position_; }

 private:
  M* mobj_ = nullptr;
  const tlcrash_async_byteorder_t* byteorder_ = nullptr;
  uint64_t start_ = 0;
  uint64_t end_ = 0;
  uint64_t position_ = 0;  // from start_; never above length()
};

}  // namespace ml::crash

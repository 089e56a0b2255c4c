#pragma once
// The FDE search over one whole call frame section (.eh_frame or .debug_frame) shown by a window
// whose base is the section's start.
//
// find_fde is the linear scan: it walks the entries from an offset hint, skips CIEs and returns
// the first FDE whose [pc_start, pc_end) holds the pc. fde_for_pc checks one FDE found by other
// means (the .eh_frame_hdr search table) against the pc.
//
// Async-signal-safe: no allocation, no locks. The reader borrows the window; a caller keeps it
// alive while the reader is used.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/DwarfFdeInfo.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

template <MemoryReader M>
class dwarf_frame_reader {
 public:
  // `m64`: the image's machine word is 64 bits. `debug_frame`: the section is .debug_frame.
  tlcrash_error_t init(M* mobj, const tlcrash_async_byteorder_t* byteorder, bool m64, bool debug_frame) {
    mobj_ = mobj;
    byteorder_ = byteorder;
    m64_ = m64;
    debug_frame_ = debug_frame;
    return TLCRASH_ESUCCESS;
  }

  M* mobj() const { return mobj_; }
  const tlcrash_async_byteorder_t* byteorder() const { return byteorder_; }
  bool is_64bit() const { return m64_; }
  bool is_debug_frame() const { return debug_frame_; }

  // 0 with the FDE holding pc, TLCRASH_ENOTFOUND at a zero terminator or the section's end, or
  // the status of the first entry that could not be read (the scan stops there).
  tlcrash_error_t find_fde(int64_t offset, uint64_t pc, tlcrash_async_dwarf_fde_info_t* result);

  // Parses the FDE at `address`: 0 when it holds pc, TLCRASH_ENOTFOUND when it does not (or the
  // entry there is a CIE), or the parser's status.
  tlcrash_error_t fde_for_pc(uint64_t address, uint64_t pc, tlcrash_async_dwarf_fde_info_t* result);

 private:
  tlcrash_error_t parse_fde(uint64_t address, tlcrash_async_dwarf_fde_info_t* result) {
    return m64_ ? tlcrash_async_dwarf_fde_info_init<uint64_t>(result, *mobj_, byteorder_, address, debug_frame_)
                : tlcrash_async_dwarf_fde_info_init<uint32_t>(result, *mobj_, byteorder_, address, debug_frame_);
  }

  bool is_cie_id(uint64_t id, bool dwarf64) const {
    if (!debug_frame_) return id == 0;
    return id == (dwarf64 ? UINT64_MAX : UINT32_MAX);
  }

  M* mobj_ = nullptr;
  const tlcrash_async_byteorder_t* byteorder_ = nullptr;
  bool m64_ = false;
  bool debug_frame_ = false;
};

template <MemoryReader M>
tlcrash_error_t dwarf_frame_reader<M>::find_fde(int64_t offset, uint64_t pc, tlcrash_async_dwarf_fde_info_t* result) {
  const uint64_t base = mobj_->base_address();
  const uint64_t end_offset = mobj_->length();  // entries are tracked as offsets from base: no overflow

  uint64_t entry;
  if (!tlcrash_async_address_apply_offset(base, offset, &entry)) {
    TLCRASH_DIAG("FDE offset hint overflows the mobject's base address");
    return TLCRASH_EINVAL;
  }
  if (entry < base || entry - base >= end_offset) {
    TLCRASH_DIAG("FDE base address + offset falls outside the mapped range");
    return TLCRASH_EINVAL;
  }

  uint64_t at = entry - base;
  for (;;) {
    uint32_t length32;
    uint64_t length;
    uint64_t header_size = 4;
    if (tlcrash_async_reader_read_uint32(*mobj_, byteorder_, base, static_cast<int64_t>(at), &length32) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("The current CFI entry 0x%llx header lies outside the mapped range", static_cast<unsigned long long>(base + at));
      return TLCRASH_EINVAL;
    }
    length = length32;
    if (length32 == UINT32_MAX) {
      if (tlcrash_async_reader_read_uint64(*mobj_, byteorder_, base, static_cast<int64_t>(at + 4), &length) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("The current CFI entry 0x%llx header lies outside the mapped range", static_cast<unsigned long long>(base + at));
        return TLCRASH_EINVAL;
      }
      header_size = 12;
    }
    if (length == 0) return TLCRASH_ENOTFOUND;

    uint64_t next;
    if (__builtin_add_overflow(at, header_size, &next) || __builtin_add_overflow(next, length, &next)) {
      TLCRASH_DIAG("Entry length size overflows the CFI address");
      return TLCRASH_EINVAL;
    }

    bool dwarf64 = header_size == 12;
    uint64_t id;
    if (tlcrash_async_dwarf_read_uintmax64(*mobj_, byteorder_, base, static_cast<int64_t>(at + header_size), dwarf64 ? 8 : 4, &id) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("The current CFI entry 0x%llx cie_id lies outside the mapped range", static_cast<unsigned long long>(base + at));
      return TLCRASH_EINVAL;
    }

    if (!is_cie_id(id, dwarf64)) {
      tlcrash_error_t err = parse_fde(base + at, result);
      if (err != TLCRASH_ESUCCESS) return err;
      if (result->pc_start <= pc && pc < result->pc_end) return TLCRASH_ESUCCESS;
    }

    at = next;
    if (at >= end_offset) return TLCRASH_ENOTFOUND;
  }
}

template <MemoryReader M>
tlcrash_error_t dwarf_frame_reader<M>::fde_for_pc(uint64_t address, uint64_t pc, tlcrash_async_dwarf_fde_info_t* result) {
  uint32_t length32;
  if (tlcrash_async_reader_read_uint32(*mobj_, byteorder_, address, 0, &length32) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("The current CFI entry 0x%llx header lies outside the mapped range", static_cast<unsigned long long>(address));
    return TLCRASH_EINVAL;
  }
  bool dwarf64 = length32 == UINT32_MAX;
  if (length32 == 0) return TLCRASH_ENOTFOUND;
  uint64_t id;
  if (tlcrash_async_dwarf_read_uintmax64(*mobj_, byteorder_, address, dwarf64 ? 12 : 4, dwarf64 ? 8 : 4, &id) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("The current CFI entry 0x%llx cie_id lies outside the mapped range", static_cast<unsigned long long>(address));
    return TLCRASH_EINVAL;
  }
  if (is_cie_id(id, dwarf64)) return TLCRASH_ENOTFOUND;
  tlcrash_error_t err = parse_fde(address, result);
  if (err != TLCRASH_ESUCCESS) return err;
  return (result->pc_start <= pc && pc < result->pc_end) ? TLCRASH_ESUCCESS : TLCRASH_ENOTFOUND;
}

}  // namespace ml::crash

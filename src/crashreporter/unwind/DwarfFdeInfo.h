#pragma once
// Parser of a DWARF Frame Description Entry of .eh_frame or .debug_frame, 32- and 64-bit DWARF.
// The FDE's CIE is parsed on the way, for the pointer encoding of the FDE's addresses and the
// size of its augmentation data. Offsets are measured from the window's base address, which
// must be the section's start (a .debug_frame CIE pointer is an offset from it).
//
// Async-signal-safe: no allocation, no locks; every field is read through the window. A failure
// returns a status, writes one diagnostic line and leaves the record partly filled and meaningless.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/DwarfCieInfo.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

struct tlcrash_async_dwarf_fde_info_t {
  uint64_t fde_offset;   // first byte after the length field (the CIE pointer), from the window's base
  uint64_t fde_length;   // declared length
  uint64_t cie_offset;   // the CIE's first byte (its length field), from the window's base
  uint64_t pc_start;     // initial_location
  uint64_t pc_end;       // first address not covered
  uint64_t instructions_offset;  // from the window's base
  uint64_t instructions_length;
};

inline uint64_t tlcrash_async_dwarf_fde_info_instructions_offset(const tlcrash_async_dwarf_fde_info_t* info) {
  return info->instructions_offset;
}
inline uint64_t tlcrash_async_dwarf_fde_info_instructions_length(const tlcrash_async_dwarf_fde_info_t* info) {
  return info->instructions_length;
}
// The record holds no resources.
inline void tlcrash_async_dwarf_fde_info_free(tlcrash_async_dwarf_fde_info_t*) {}

// Parses the FDE whose length field is at `address`. `debug_frame` selects how the CIE pointer
// is read: an offset from the section's start (.debug_frame) or a distance back from the
// pointer field itself (.eh_frame).
template <typename machine_ptr, MemoryReader M>
tlcrash_error_t tlcrash_async_dwarf_fde_info_init(tlcrash_async_dwarf_fde_info_t* info, M& mobj,
                                                  const tlcrash_async_byteorder_t* byteorder, uint64_t address,
                                                  bool debug_frame) {
  tlcrash_error_t err;
  const uint64_t base = mobj.base_address();

  uint32_t length32;
  if (tlcrash_async_reader_read_uint32(mobj, byteorder, address, 0, &length32) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("The current FDE entry 0x%llx header lies outside the mapped range", static_cast<unsigned long long>(address));
    return TLCRASH_EINVAL;
  }
  uint64_t length_size = 4;
  if (length32 == UINT32_MAX) {
    if ((err = tlcrash_async_reader_read_uint64(mobj, byteorder, address, 4, &info->fde_length)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Failed to read FDE 64-bit length value value; FDE entry lies outside the mapped range");
      return err;
    }
    length_size = 12;
  } else {
    info->fde_length = length32;
  }
  const uint8_t pointer_size = length_size == 12 ? 8 : 4;
  // The reads above succeeded, so address lies inside the window.
  info->fde_offset = address - base + length_size;

  uint64_t cie_pointer;
  if ((err = tlcrash_async_dwarf_read_uintmax64(mobj, byteorder, address, static_cast<int64_t>(length_size),
                                                pointer_size, &cie_pointer)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("FDE instruction offset falls outside the mapped range");
    return err;
  }

  uint64_t cie_address;
  if (debug_frame) {
    if (static_cast<int64_t>(cie_pointer) < 0 ||
        !tlcrash_async_address_apply_offset(base, static_cast<int64_t>(cie_pointer), &cie_address)) {
      TLCRASH_DIAG("CIE offset of 0x%llx overflows representable range of tl_vm_address_t",
                   static_cast<unsigned long long>(cie_pointer));
      return TLCRASH_EINVAL;
    }
    info->cie_offset = cie_pointer;
  } else {
    uint64_t pointer_field = address + length_size;  // inside the window: no overflow
    if (cie_pointer > pointer_field || pointer_field - cie_pointer < base) {
      TLCRASH_DIAG("CIE offset 0x%llx would place the CIE value outside of the .eh_frame section",
                   static_cast<unsigned long long>(cie_pointer));
      return TLCRASH_EINVAL;
    }
    cie_address = pointer_field - cie_pointer;
    info->cie_offset = cie_address - base;
  }

  gnu_ehptr_reader<machine_ptr> ptr_reader(byteorder);
  tlcrash_async_dwarf_cie_info_t cie;
  if ((err = tlcrash_async_dwarf_cie_info_init(&cie, mobj, byteorder, &ptr_reader, cie_address)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to parse CFE for FDE");
    return err;
  }

  uint8_t encoding = (cie.has_eh_augmentation && cie.has_pointer_encoding) ? cie.pointer_encoding : static_cast<uint8_t>(DW_EH_PE_absptr);
  uint64_t pos = length_size + pointer_size;
  machine_ptr value;
  uint64_t size;
  if ((err = ptr_reader.read(mobj, address, static_cast<int64_t>(pos), encoding, &value, &size)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read FDE initial_location");
    return err;
  }
  info->pc_start = value;
  pos += size;

  // The range is a plain length: the value format without base or indirection.
  if ((err = ptr_reader.read(mobj, address, static_cast<int64_t>(pos), encoding & 0x0F, &value, &size)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read FDE address_length");
    return err;
  }
  pos += size;
  if (__builtin_add_overflow(info->pc_start, static_cast<uint64_t>(value), &info->pc_end)) {
    TLCRASH_DIAG("FDE address_length + initial_location exceeds UINT64_MAX");
    return TLCRASH_EINVAL;
  }

  if (cie.has_eh_augmentation) {
    uint64_t augmentation_length;
    if ((err = tlcrash_async_dwarf_read_uleb128(mobj, address, static_cast<int64_t>(pos), &augmentation_length, &size)) != TLCRASH_ESUCCESS) {
      return err;
    }
    if (__builtin_add_overflow(pos, size, &pos) || __builtin_add_overflow(pos, augmentation_length, &pos)) {
      TLCRASH_DIAG("FDE augmentation data length 0x%llx overflows", static_cast<unsigned long long>(augmentation_length));
      return TLCRASH_EINVAL;
    }
  }

  // pos counts from the FDE's length field; the body starts length_size bytes in.
  uint64_t used = pos - length_size;
  if (used > info->fde_length) {
    TLCRASH_DIAG("FDE length of 0x%lludeclared to be less than the actual read length of 0x%llu",
                 static_cast<unsigned long long>(info->fde_length), static_cast<unsigned long long>(used));
    return TLCRASH_EINVAL;
  }
  info->instructions_offset = info->fde_offset + used;
  info->instructions_length = info->fde_length - used;
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash

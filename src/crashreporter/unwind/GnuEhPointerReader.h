#pragma once
// Decoder of GNU exception-handling pointer encodings (DW_EH_PE_*), as CIEs, FDEs and the
// .eh_frame_hdr search table use them. One class per machine-word width (machine_ptr uint32_t or
// uint64_t): absolute pointers and indirect reads are one machine word, and pointer arithmetic
// wraps at that width.
//
// The relative bases start unset. pcrel needs none (the value's own address is the base);
// textrel, datarel and funcrel need the matching setter, aligned needs the frame section base;
// an unset base refuses the value with TLCRASH_ENOTSUP. The .eh_frame_hdr reader sets the data
// base to the header's address, since its table is datarel.
//
// Async-signal-safe: reads through the window, indirect pointers through the safe task reads.
#include <cstdint>
#include <type_traits>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

enum tlcrash_dw_eh_pe : uint8_t {
  DW_EH_PE_absptr = 0x00,
  DW_EH_PE_uleb128 = 0x01,
  DW_EH_PE_udata2 = 0x02,
  DW_EH_PE_udata4 = 0x03,
  DW_EH_PE_udata8 = 0x04,
  DW_EH_PE_sleb128 = 0x09,
  DW_EH_PE_sdata2 = 0x0A,
  DW_EH_PE_sdata4 = 0x0B,
  DW_EH_PE_sdata8 = 0x0C,

  DW_EH_PE_pcrel = 0x10,
  DW_EH_PE_textrel = 0x20,
  DW_EH_PE_datarel = 0x30,
  DW_EH_PE_funcrel = 0x40,
  DW_EH_PE_aligned = 0x50,

  DW_EH_PE_indirect = 0x80,
  DW_EH_PE_omit = 0xFF,
};

template <typename machine_ptr>
class gnu_ehptr_reader {
  static_assert(std::is_same_v<machine_ptr, uint32_t> || std::is_same_v<machine_ptr, uint64_t>);

 public:
  explicit gnu_ehptr_reader(const tlcrash_async_byteorder_t* byteorder) : byteorder_(byteorder) {}

  // `base` is the section's address as the window shows it; `vm_addr` its address in the image.
  void set_frame_section_base(uint64_t base, uint64_t vm_addr) {
    frame_section_ = {true, base};
    frame_section_vm_addr_ = vm_addr;
  }
  void set_text_base(uint64_t address) { text_ = {true, address}; }
  void set_data_base(uint64_t address) { data_ = {true, address}; }
  void set_func_base(uint64_t address) { func_ = {true, address}; }

  // Decodes the pointer at location + offset. *size receives the bytes consumed, alignment padding
  // included. TLCRASH_ENOTFOUND for DW_EH_PE_omit (nothing is read), TLCRASH_ENOTSUP for an
  // unsupported format or base or a missing base, otherwise the failing read's code.
  template <MemoryReader M>
  tlcrash_error_t read(M& mobj, uint64_t location, int64_t offset, uint8_t encoding, machine_ptr* result,
                       uint64_t* size) const;

 private:
  struct Base {
    bool valid = false;
    uint64_t address = 0;
  };

  const tlcrash_async_byteorder_t* byteorder_;
  Base frame_section_;
  uint64_t frame_section_vm_addr_ = 0;
  Base text_;
  Base data_;
  Base func_;
};

template <typename machine_ptr>
template <MemoryReader M>
tlcrash_error_t gnu_ehptr_reader<machine_ptr>::read(M& mobj, uint64_t location, int64_t offset, uint8_t encoding,
                                                    machine_ptr* result, uint64_t* size) const {
  constexpr uint64_t W = sizeof(machine_ptr);
  if (encoding == DW_EH_PE_omit) {
    TLCRASH_DIAG("Skipping decoding of DW_EH_PE_omit pointer");
    return TLCRASH_ENOTFOUND;
  }

  // The address of the encoded value (before any alignment padding).
  uint64_t position;
  if (!tlcrash_async_address_apply_offset(location, offset, &position)) {
    TLCRASH_DIAG("Pointer location 0x%llx + %lld overflows", static_cast<unsigned long long>(location),
                 static_cast<long long>(offset));
    return TLCRASH_EINVAL;
  }

  *size = 0;
  machine_ptr base = 0;
  switch (encoding & 0x70) {
    case 0x00: break;
    case DW_EH_PE_pcrel: base = static_cast<machine_ptr>(position); break;
    case DW_EH_PE_textrel:
      if (!text_.valid) {
        TLCRASH_DIAG("Cannot decode DW_EH_PE_textrel value with TLCRASH_ASYNC_DWARF_INVALID_BASE_ADDR text_addr");
        return TLCRASH_ENOTSUP;
      }
      base = static_cast<machine_ptr>(text_.address);
      break;
    case DW_EH_PE_datarel:
      if (!data_.valid) {
        TLCRASH_DIAG("Cannot decode DW_EH_PE_datarel value with TLCRASH_ASYNC_DWARF_INVALID_BASE_ADDR data_base");
        return TLCRASH_ENOTSUP;
      }
      base = static_cast<machine_ptr>(data_.address);
      break;
    case DW_EH_PE_funcrel:
      if (!func_.valid) {
        TLCRASH_DIAG("Cannot decode DW_EH_PE_funcrel value with TLCRASH_ASYNC_DWARF_INVALID_BASE_ADDR func_base");
        return TLCRASH_ENOTSUP;
      }
      base = static_cast<machine_ptr>(func_.address);
      break;
    case DW_EH_PE_aligned: {
      if (!frame_section_.valid) {
        TLCRASH_DIAG("Cannot decode DW_EH_PE_aligned value without a valid frame section base configured");
        return TLCRASH_ENOTSUP;
      }
      // Alignment is that of the value's address in the image, so it is measured from the
      // section's image address; a position before the section has no such address.
      if (position < frame_section_.address) {
        TLCRASH_DIAG("DW_EH_PE_aligned value at 0x%llx lies before its frame section",
                     static_cast<unsigned long long>(position));
        return TLCRASH_EINVAL;
      }
      uint64_t vm_addr = frame_section_vm_addr_ + (position - frame_section_.address);
      uint64_t gap = (W - vm_addr % W) % W;
      if (!tlcrash_async_address_apply_offset(position, static_cast<int64_t>(gap), &position)) return TLCRASH_EINVAL;
      *size = gap;
      break;
    }
    default:
      TLCRASH_DIAG("Unsupported pointer base encoding of 0x%x", static_cast<unsigned>(encoding));
      return TLCRASH_ENOTSUP;
  }

  machine_ptr value = 0;
  const auto at = static_cast<unsigned long long>(position);
  tlcrash_error_t err;
  switch (encoding & 0x0F) {
    case DW_EH_PE_absptr: {
      uint64_t v;
      if (tlcrash_async_dwarf_read_uintmax64(mobj, byteorder_, position, 0, static_cast<uint8_t>(W), &v) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read value at 0x%llx", at);
        return TLCRASH_EINVAL;
      }
      value = static_cast<machine_ptr>(v);
      *size += W;
      break;
    }
    case DW_EH_PE_uleb128: {
      uint64_t v, n;
      if ((err = tlcrash_async_dwarf_read_uleb128(mobj, position, 0, &v, &n)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read uleb128 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(v);
      *size += n;
      break;
    }
    case DW_EH_PE_udata2: {
      uint16_t v;
      if ((err = tlcrash_async_reader_read_uint16(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read udata2 value at 0x%llx", at);
        return err;
      }
      value = v;
      *size += 2;
      break;
    }
    case DW_EH_PE_udata4: {
      uint32_t v;
      if ((err = tlcrash_async_reader_read_uint32(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read udata4 value at 0x%llx", at);
        return err;
      }
      value = v;
      *size += 4;
      break;
    }
    case DW_EH_PE_udata8: {
      uint64_t v;
      if ((err = tlcrash_async_reader_read_uint64(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read udata8 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(v);
      *size += 8;
      break;
    }
    case DW_EH_PE_sleb128: {
      int64_t v;
      uint64_t n;
      if ((err = tlcrash_async_dwarf_read_sleb128(mobj, position, 0, &v, &n)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read sleb128 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(v);
      *size += n;
      break;
    }
    case DW_EH_PE_sdata2: {
      uint16_t v;
      if ((err = tlcrash_async_reader_read_uint16(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read sdata2 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(static_cast<int64_t>(static_cast<int16_t>(v)));
      *size += 2;
      break;
    }
    case DW_EH_PE_sdata4: {
      uint32_t v;
      if ((err = tlcrash_async_reader_read_uint32(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read sdata4 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(static_cast<int64_t>(static_cast<int32_t>(v)));
      *size += 4;
      break;
    }
    case DW_EH_PE_sdata8: {
      uint64_t v;
      if ((err = tlcrash_async_reader_read_uint64(mobj, byteorder_, position, 0, &v)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to read sdata8 value at 0x%llx", at);
        return err;
      }
      value = static_cast<machine_ptr>(v);
      *size += 8;
      break;
    }
    default:
      TLCRASH_DIAG("Unknown pointer encoding of type 0x%x", static_cast<unsigned>(encoding));
      return TLCRASH_ENOTSUP;
  }

  // Unsigned arithmetic of the machine word's width: wraps like the target's would.
  machine_ptr decoded = static_cast<machine_ptr>(base + value);

  if ((encoding & DW_EH_PE_indirect) != 0) {
    if constexpr (W == 4) {
      uint32_t target;
      if ((err = tlcrash_async_task_read_uint32(mobj.task(), byteorder_, decoded, 0, &target)) != TLCRASH_ESUCCESS) return err;
      decoded = target;
    } else {
      uint64_t target;
      if ((err = tlcrash_async_task_read_uint64(mobj.task(), byteorder_, decoded, 0, &target)) != TLCRASH_ESUCCESS) return err;
      decoded = target;
    }
  }
  *result = decoded;
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash

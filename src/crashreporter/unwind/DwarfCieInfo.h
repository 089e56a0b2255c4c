#pragma once
// Parser of a DWARF Common Information Entry, in the .eh_frame (GNU) and .debug_frame (DWARF 1,
// 3, 4) forms, 32- and 64-bit DWARF. The record owns nothing; offsets are measured from the
// window's base address.
//
// Async-signal-safe: no allocation, no locks; every field is read through the window. A failure
// returns a status, writes one diagnostic line and leaves the record partly filled and meaningless.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/DwarfPrimitives.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

struct tlcrash_async_dwarf_cie_info_t {
  uint64_t cie_offset;   // first byte after the length field, from the window's base
  uint64_t cie_length;   // declared length, not counting the length field
  uint64_t cie_id;       // 0 (.eh_frame) or all ones of its width (.debug_frame)
  uint8_t cie_version;   // 1, 3 or 4
  uint8_t address_size;  // version 4 only
  uint8_t segment_size;  // version 4 only
  uint64_t code_alignment_factor;
  int64_t data_alignment_factor;
  uint64_t return_address_register;  // DWARF register number

  bool has_eh_augmentation;  // the augmentation string begins with 'z'
  bool has_lsda_encoding;
  uint8_t lsda_encoding;
  bool has_personality_address;
  uint64_t personality_address;
  bool has_pointer_encoding;
  uint8_t pointer_encoding;  // encoding of the FDE's addresses and of DW_CFA_set_loc
  bool signal_frame;

  uint64_t initial_instructions_offset;  // from the window's base
  uint64_t initial_instructions_length;
};

inline uint64_t tlcrash_async_dwarf_cie_info_initial_instructions_offset(const tlcrash_async_dwarf_cie_info_t* info) {
  return info->initial_instructions_offset;
}
inline uint64_t tlcrash_async_dwarf_cie_info_initial_instructions_length(const tlcrash_async_dwarf_cie_info_t* info) {
  return info->initial_instructions_length;
}
// The record holds no resources.
inline void tlcrash_async_dwarf_cie_info_free(tlcrash_async_dwarf_cie_info_t*) {}

// Parses the CIE whose length field is at `address` (inside the window). `ptr_reader` decodes
// the personality pointer.
template <MemoryReader M, typename machine_ptr>
tlcrash_error_t tlcrash_async_dwarf_cie_info_init(tlcrash_async_dwarf_cie_info_t* info, M& mobj,
                                                  const tlcrash_async_byteorder_t* byteorder,
                                                  const gnu_ehptr_reader<machine_ptr>* ptr_reader, uint64_t address) {
  tlcrash_async_memset(info, 0, sizeof(*info));
  tlcrash_error_t err;

  // Length: 32-bit, or 0xFFFFFFFF followed by the 64-bit length of the 64-bit DWARF form.
  uint32_t length32;
  if (tlcrash_async_reader_read_uint32(mobj, byteorder, address, 0, &length32) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("CIE 0x%llx header lies outside the mapped range", static_cast<unsigned long long>(address));
    return TLCRASH_EINVAL;
  }
  uint64_t length_size = 4;
  bool dwarf64 = false;
  if (length32 == UINT32_MAX) {
    if ((err = tlcrash_async_reader_read_uint64(mobj, byteorder, address, 4, &info->cie_length)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("CIE 0x%llx 64-bit length lies outside the mapped range", static_cast<unsigned long long>(address));
      return err;
    }
    length_size = 12;
    dwarf64 = true;
  } else {
    info->cie_length = length32;
  }
  // The reads above succeeded, so the address lies inside the window, at or after its base.
  info->cie_offset = address - mobj.base_address() + length_size;

  // Positions below count from `address`.
  uint64_t pos = length_size;
  if ((err = tlcrash_async_dwarf_read_uintmax64(mobj, byteorder, address, static_cast<int64_t>(pos),
                                                dwarf64 ? 8 : 4, &info->cie_id)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("CIE id could not be read");
    return err;
  }
  pos += dwarf64 ? 8 : 4;
  uint64_t debug_frame_id = dwarf64 ? UINT64_MAX : UINT32_MAX;
  if (info->cie_id != 0 && info->cie_id != debug_frame_id) {
    TLCRASH_DIAG("CIE id is not one of 0 (eh_frame) or UINT?_MAX (debug_frame): %llx",
                 static_cast<unsigned long long>(info->cie_id));
    return TLCRASH_EINVAL;
  }

  if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(pos), &info->cie_version)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("CIE version could not be read");
    return err;
  }
  pos += 1;
  if (info->cie_version != 1 && info->cie_version != 3 && info->cie_version != 4) {
    TLCRASH_DIAG("CIE version is not one of 1 (eh_frame) or 3 (DWARF3) or 4 (DWARF4): %hhu", info->cie_version);
    return TLCRASH_EINVAL;
  }

  // Augmentation string: empty, or 'z' followed by letters up to its NUL.
  uint64_t augmentation_pos = pos;
  uint8_t c;
  if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(pos), &c)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("CIE augmentation string could not be read");
    return err;
  }
  pos += 1;
  if (c == 'z') {
    info->has_eh_augmentation = true;
    do {
      if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(pos), &c)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("CIE augmentation string could not be read");
        return err;
      }
      pos += 1;
    } while (c != 0);
  } else if (c != 0) {
    TLCRASH_DIAG("Unknown augmentation string prefix of %c, cannot parse CIE", static_cast<char>(c));
    return TLCRASH_ENOTSUP;
  }

  if (info->cie_version == 4) {
    if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(pos), &info->address_size)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("CIE address_size could not be read");
      return err;
    }
    pos += 1;
    if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(pos), &info->segment_size)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("CIE segment_size could not be read");
      return err;
    }
    pos += 1;
  }

  uint64_t n;
  if ((err = tlcrash_async_dwarf_read_uleb128(mobj, address, static_cast<int64_t>(pos), &info->code_alignment_factor, &n)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read CIE code alignment value");
    return err;
  }
  pos += n;
  if ((err = tlcrash_async_dwarf_read_sleb128(mobj, address, static_cast<int64_t>(pos), &info->data_alignment_factor, &n)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read CIE data alignment value");
    return err;
  }
  pos += n;
  if ((err = tlcrash_async_dwarf_read_uleb128(mobj, address, static_cast<int64_t>(pos), &info->return_address_register, &n)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read CIE return address register");
    return err;
  }
  pos += n;

  uint64_t augmentation_data_length = 0;
  if (info->has_eh_augmentation) {
    if ((err = tlcrash_async_dwarf_read_uleb128(mobj, address, static_cast<int64_t>(pos), &augmentation_data_length, &n)) != TLCRASH_ESUCCESS) {
      TLCRASH_DIAG("Failed to read the augmentation data uleb128 length");
      return err;
    }
    pos += n;

    // The letters after 'z' say, in order, what the augmentation data holds. An unknown letter
    // ends the walk: the declared data length still says where the instructions begin.
    uint64_t data_pos = pos;
    for (uint64_t letter = augmentation_pos + 1;; ++letter) {
      if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(letter), &c)) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("CIE augmentation string could not be read");
        return err;
      }
      if (c == 0) break;
      bool stop = false;
      switch (c) {
        case 'L':
          if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(data_pos), &info->lsda_encoding)) != TLCRASH_ESUCCESS) {
            TLCRASH_DIAG("Failed to read the LSDA encoding value");
            return err;
          }
          info->has_lsda_encoding = true;
          data_pos += 1;
          break;
        case 'P': {
          uint8_t personality_encoding;
          if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(data_pos), &personality_encoding)) != TLCRASH_ESUCCESS) {
            TLCRASH_DIAG("Failed to read the personality routine encoding value");
            return err;
          }
          data_pos += 1;
          machine_ptr personality;
          uint64_t size;
          if ((err = ptr_reader->read(mobj, address, static_cast<int64_t>(data_pos), personality_encoding, &personality, &size)) != TLCRASH_ESUCCESS) {
            TLCRASH_DIAG("Failed to read the personality routine pointer value");
            return err;
          }
          info->personality_address = personality;
          info->has_personality_address = true;
          data_pos += size;
          break;
        }
        case 'R':
          if ((err = tlcrash_async_reader_read_uint8(mobj, address, static_cast<int64_t>(data_pos), &info->pointer_encoding)) != TLCRASH_ESUCCESS) {
            TLCRASH_DIAG("Failed to read the pointer encoding value");
            return err;
          }
          info->has_pointer_encoding = true;
          data_pos += 1;
          break;
        case 'S':
          info->signal_frame = true;
          break;
        default:
          TLCRASH_DIAG("Unknown augmentation entry of %c; terminating parsing early", static_cast<char>(c));
          stop = true;
          break;
      }
      if (stop) break;
    }
  }

  // Bytes of the CIE body (after the length field) up to the initial instructions.
  uint64_t consumed = pos - length_size;
  if (__builtin_add_overflow(consumed, augmentation_data_length, &consumed) || consumed > info->cie_length) {
    TLCRASH_DIAG("CIE length of 0x%llu declared to be less than the actual read length of 0x%llu",
                 static_cast<unsigned long long>(info->cie_length), static_cast<unsigned long long>(consumed));
    return TLCRASH_EINVAL;
  }
  info->initial_instructions_offset = info->cie_offset + consumed;
  info->initial_instructions_length = info->cie_length - consumed;
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash

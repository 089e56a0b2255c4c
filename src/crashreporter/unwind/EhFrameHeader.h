#pragma once
// Reader of an ELF image's .eh_frame_hdr (the PT_GNU_EH_FRAME segment): the address of its
// .eh_frame and the sorted table of (initial location, FDE address) pairs that lets the DWARF
// reader find a pc's FDE by binary search instead of a linear scan of .eh_frame.
//
// Layout: version (1), eh_frame_ptr encoding, fde_count encoding, table encoding (one byte
// each), eh_frame_ptr, fde_count, then fde_count pairs in the table encoding. Table values are
// datarel: relative to the header's first byte. A table in a variable-size format cannot be
// searched; such a header (or one without a table) answers TLCRASH_ENOTSUP and the caller scans
// .eh_frame instead.
//
// Async-signal-safe: no allocation, no locks; the reader borrows the window (based at the
// header's first byte) and reads it on every search.
#include <cstdint>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/GnuEhPointerReader.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

template <MemoryReader M, typename machine_ptr>
class eh_frame_hdr_reader {
 public:
  explicit eh_frame_hdr_reader(const tlcrash_async_byteorder_t* byteorder) : byteorder_(byteorder), pointers_(byteorder) {}

  // Reads the header. TLCRASH_ENOTSUP for a version other than 1; TLCRASH_EINVAL when a field
  // cannot be read or the table does not fit the window.
  tlcrash_error_t init(M* mobj);

  uint64_t eh_frame_address() const { return eh_frame_; }
  bool has_table() const { return searchable_; }
  uint64_t fde_count() const { return fde_count_; }

  // The FDE address of the table entry with the greatest initial location not above pc.
  // TLCRASH_ENOTFOUND when pc lies below every entry or the table is empty, TLCRASH_ENOTSUP when
  // the header has no searchable table.
  tlcrash_error_t find_fde_address(uint64_t pc, uint64_t* fde_address);

 private:
  tlcrash_error_t read_entry(uint64_t index, uint64_t* initial_location, uint64_t* fde_address);

  const tlcrash_async_byteorder_t* byteorder_;
  gnu_ehptr_reader<machine_ptr> pointers_;
  M* mobj_ = nullptr;
  uint64_t eh_frame_ = 0;
  bool searchable_ = false;
  uint64_t fde_count_ = 0;
  uint8_t table_encoding_ = DW_EH_PE_omit;
  uint64_t table_offset_ = 0;  // from the header's start
  uint64_t entry_size_ = 0;
};

namespace eh_frame_hdr_detail {
// Size of one value in a fixed-size format; 0 for a variable-size one.
inline uint64_t fixed_size(uint8_t encoding, uint64_t word) {
  switch (encoding & 0x0F) {
    case DW_EH_PE_absptr: return word;
    case DW_EH_PE_udata2:
    case DW_EH_PE_sdata2: return 2;
    case DW_EH_PE_udata4:
    case DW_EH_PE_sdata4: return 4;
    case DW_EH_PE_udata8:
    case DW_EH_PE_sdata8: return 8;
    default: return 0;
  }
}
}  // namespace eh_frame_hdr_detail

template <MemoryReader M, typename machine_ptr>
tlcrash_error_t eh_frame_hdr_reader<M, machine_ptr>::init(M* mobj) {
  mobj_ = mobj;
  const uint64_t base = mobj->base_address();
  pointers_.set_data_base(base);

  uint8_t header[4];
  if (mobj->read(base, 0, header, sizeof(header)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("The .eh_frame_hdr header at 0x%llx lies outside the mapped range", static_cast<unsigned long long>(base));
    return TLCRASH_EINVAL;
  }
  if (header[0] != 1) {
    TLCRASH_DIAG("Unsupported .eh_frame_hdr version %u", static_cast<unsigned>(header[0]));
    return TLCRASH_ENOTSUP;
  }

  uint64_t pos = 4;
  uint64_t size;
  machine_ptr value;
  tlcrash_error_t err;
  if ((err = pointers_.read(*mobj, base, static_cast<int64_t>(pos), header[1], &value, &size)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read the .eh_frame_hdr eh_frame_ptr: %d", err);
    return err;
  }
  eh_frame_ = value;
  pos += size;

  searchable_ = false;
  if (header[2] == DW_EH_PE_omit || header[3] == DW_EH_PE_omit) return TLCRASH_ESUCCESS;
  if ((err = pointers_.read(*mobj, base, static_cast<int64_t>(pos), header[2], &value, &size)) != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read the .eh_frame_hdr fde_count: %d", err);
    return err;
  }
  pos += size;
  fde_count_ = value;
  table_encoding_ = header[3];
  table_offset_ = pos;

  uint64_t value_size = eh_frame_hdr_detail::fixed_size(table_encoding_, sizeof(machine_ptr));
  if (value_size == 0 || (table_encoding_ & 0x70) == DW_EH_PE_aligned) return TLCRASH_ESUCCESS;
  entry_size_ = 2 * value_size;

  // The whole table must lie inside the window, so every entry read below is in range.
  uint64_t table_size;
  if (__builtin_mul_overflow(fde_count_, entry_size_, &table_size) ||
      !tlcrash_async_reader_contains(*mobj, base, static_cast<int64_t>(table_offset_), table_size)) {
    TLCRASH_DIAG("The .eh_frame_hdr table of %llu entries lies outside the mapped range",
                 static_cast<unsigned long long>(fde_count_));
    return TLCRASH_EINVAL;
  }
  searchable_ = true;
  return TLCRASH_ESUCCESS;
}

template <MemoryReader M, typename machine_ptr>
tlcrash_error_t eh_frame_hdr_reader<M, machine_ptr>::read_entry(uint64_t index, uint64_t* initial_location,
                                                                uint64_t* fde_address) {
  const uint64_t at = table_offset_ + index * entry_size_;  // inside the checked table
  const uint64_t base = mobj_->base_address();
  machine_ptr value;
  uint64_t size;
  tlcrash_error_t err;
  if ((err = pointers_.read(*mobj_, base, static_cast<int64_t>(at), table_encoding_, &value, &size)) != TLCRASH_ESUCCESS) return err;
  *initial_location = value;
  if (fde_address == nullptr) return TLCRASH_ESUCCESS;
  if ((err = pointers_.read(*mobj_, base, static_cast<int64_t>(at + size), table_encoding_, &value, &size)) != TLCRASH_ESUCCESS) return err;
  *fde_address = value;
  return TLCRASH_ESUCCESS;
}

template <MemoryReader M, typename machine_ptr>
tlcrash_error_t eh_frame_hdr_reader<M, machine_ptr>::find_fde_address(uint64_t pc, uint64_t* fde_address) {
  if (!searchable_) return TLCRASH_ENOTSUP;
  // Greatest entry with initial location <= pc: invariant entries below `low` are <= pc, entries
  // at or above `high` are > pc.
  uint64_t low = 0;
  uint64_t high = fde_count_;
  tlcrash_error_t err;
  while (low < high) {
    uint64_t middle = low + (high - low) / 2;
    uint64_t location;
    if ((err = read_entry(middle, &location, nullptr)) != TLCRASH_ESUCCESS) return err;
    if (location <= pc) low = middle + 1;
    else high = middle;
  }
  if (low == 0) return TLCRASH_ENOTFOUND;
  uint64_t location;
  return read_entry(low - 1, &location, fde_address);
}

}  // namespace ml::crash

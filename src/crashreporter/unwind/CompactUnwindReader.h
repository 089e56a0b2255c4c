#pragma once
// Reader of a __TEXT,__unwind_info section (the compact unwind format, version 1,
// little-endian): finds the encoding of the function that holds a pc. Function offsets, and the
// pcs given here, are relative to the image's header.
//
// Layout: a 28-byte header (version, common encodings array offset and count, personality array
// offset and count, index offset and count); a first-level index of 12-byte entries
// (functionOffset, second-level page offset, LSDA index offset) whose last entry is a sentinel;
// second-level pages, regular (kind 2: 8-byte entries of functionOffset and encoding) or
// compressed (kind 3: 4-byte entries of a 24-bit function offset from the first-level entry and
// an 8-bit encoding index into the common encodings, then the page's own).
//
// Both levels are binary searches over the window; every table is checked to lie inside it
// before it is searched, so nothing is trusted. Async-signal-safe: no allocation, no locks; the
// reader borrows the window and copies only the header.
#include <cstdint>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/unwind/CpuType.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

struct tlcrash_async_cfe_section_header_t {
  uint32_t version;
  uint32_t common_encodings_offset;
  uint32_t common_encodings_count;
  uint32_t personality_offset;
  uint32_t personality_count;
  uint32_t index_offset;
  uint32_t index_count;
};
static_assert(sizeof(tlcrash_async_cfe_section_header_t) == 28);

template <MemoryReader M>
struct tlcrash_async_cfe_reader_t {
  M* mobj;
  uint32_t cpu_type;
  tlcrash_async_cfe_section_header_t header;
  const tlcrash_async_byteorder_t* byteorder;
};

namespace cfe_detail {

inline constexpr uint32_t kRegularPage = 2;
inline constexpr uint32_t kCompressedPage = 3;

// Reads the u32 at section offset `offset` (+ `extra`).
template <MemoryReader M>
bool read32(tlcrash_async_cfe_reader_t<M>* reader, uint64_t offset, uint32_t* value) {
  return tlcrash_async_reader_read_uint32(*reader->mobj, reader->byteorder, reader->mobj->base_address(),
                                          static_cast<int64_t>(offset), value) == TLCRASH_ESUCCESS;
}

template <MemoryReader M>
bool contains(tlcrash_async_cfe_reader_t<M>* reader, uint64_t offset, uint64_t count, uint64_t entry_size) {
  // count and entry_size come from 32-bit and 16-bit fields: the product cannot overflow.
  return offset <= INT64_MAX &&
         tlcrash_async_reader_contains(*reader->mobj, reader->mobj->base_address(), static_cast<int64_t>(offset), count * entry_size);
}

// Index of the entry with the greatest key not above pc among `count` (> 0) entries whose keys
// are ascending; false when pc lies below the first key. `key(i, &k)` reads entry i's key.
template <typename KeyReader>
tlcrash_error_t search(uint64_t count, uint64_t pc, KeyReader key, uint64_t* found) {
  uint64_t low = 0;
  uint64_t high = count;  // entries below low have keys <= pc, entries at or above high keys > pc
  while (low < high) {
    uint64_t middle = low + (high - low) / 2;
    uint64_t k;
    if (!key(middle, &k)) return TLCRASH_EINVAL;
    if (k <= pc) low = middle + 1;
    else high = middle;
  }
  if (low == 0) return TLCRASH_ENOTFOUND;
  *found = low - 1;
  return TLCRASH_ESUCCESS;
}

}  // namespace cfe_detail

template <MemoryReader M>
tlcrash_error_t tlcrash_async_cfe_reader_init(tlcrash_async_cfe_reader_t<M>* reader, M* mobj, uint32_t cpu_type) {
  reader->mobj = mobj;
  reader->cpu_type = cpu_type;
  reader->byteorder = tlcrash_async_byteorder_little_endian();
  if (cpu_type != kTLCrashCpuTypeX86 && cpu_type != kTLCrashCpuTypeX86_64 && cpu_type != kTLCrashCpuTypeArm64) {
    TLCRASH_DIAG("Unsupported CPU type: %u", cpu_type);
    return TLCRASH_ENOTSUP;
  }
  uint32_t fields[7];
  for (uint32_t i = 0; i < 7; ++i) {
    if (!cfe_detail::read32(reader, i * 4u, &fields[i])) {
      TLCRASH_DIAG("Could not map the unwind info section header");
      return TLCRASH_EINVAL;
    }
  }
  reader->header = {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
  if (reader->header.version != 1) {
    TLCRASH_DIAG("Unsupported CFE version: %u", reader->header.version);
    return TLCRASH_ENOTSUP;
  }
  return TLCRASH_ESUCCESS;
}

// Finds the function holding `pc` (relative to the image's header): its start (also relative)
// and its encoding. TLCRASH_ENOTFOUND when no entry covers the pc; TLCRASH_EINVAL when a table
// lies outside the section or an index is out of range.
template <MemoryReader M>
tlcrash_error_t tlcrash_async_cfe_reader_find_pc(tlcrash_async_cfe_reader_t<M>* reader, uint64_t pc,
                                                 uint64_t* function_base, uint32_t* encoding) {
  using namespace cfe_detail;
  const tlcrash_async_cfe_section_header_t& h = reader->header;

  if (!contains(reader, h.common_encodings_offset, h.common_encodings_count, 4)) {
    TLCRASH_DIAG("The declared common table lies outside the mapped CFE range");
    return TLCRASH_EINVAL;
  }
  if (h.index_count == 0) {
    TLCRASH_DIAG("CFE index contains no entries");
    return TLCRASH_ENOTFOUND;
  }
  // The last index entry is a sentinel that only marks the end of the covered range.
  const uint64_t index_entries = h.index_count - 1u;
  if (!contains(reader, h.index_offset, index_entries, 12)) {
    TLCRASH_DIAG("The declared entries table lies outside the mapped CFE range");
    return TLCRASH_EINVAL;
  }

  uint64_t first;
  tlcrash_error_t err = TLCRASH_ENOTFOUND;
  if (index_entries > 0) {
    err = search(index_entries, pc, [&](uint64_t i, uint64_t* key) {
      uint32_t v;
      if (!read32(reader, h.index_offset + i * 12, &v)) return false;
      *key = v;
      return true;
    }, &first);
  }
  if (err != TLCRASH_ESUCCESS) {
    if (err == TLCRASH_ENOTFOUND) TLCRASH_DIAG("Could not find a first level CFE entry for pc=%llx", static_cast<unsigned long long>(pc));
    return err;
  }

  uint32_t first_function, page;
  if (!read32(reader, h.index_offset + first * 12, &first_function) || !read32(reader, h.index_offset + first * 12 + 4, &page)) {
    return TLCRASH_EINVAL;
  }

  uint32_t kind;
  if (!read32(reader, page, &kind)) {
    TLCRASH_DIAG("The second-level page header lies outside the mapped CFE range");
    return TLCRASH_EINVAL;
  }

  if (kind == kRegularPage) {
    uint32_t counts;  // entryPageOffset (u16), entryCount (u16)
    if (!read32(reader, uint64_t{page} + 4, &counts)) {
      TLCRASH_DIAG("The second-level page header lies outside the mapped CFE range");
      return TLCRASH_EINVAL;
    }
    const uint64_t entries = uint64_t{page} + (counts & 0xFFFF);
    const uint64_t count = counts >> 16;
    if (!contains(reader, entries, count, 8)) {
      TLCRASH_DIAG("CFE entries table lies outside the mapped CFE range");
      return TLCRASH_EINVAL;
    }
    uint64_t found;
    err = count == 0 ? TLCRASH_ENOTFOUND : search(count, pc, [&](uint64_t i, uint64_t* key) {
      uint32_t v;
      if (!read32(reader, entries + i * 8, &v)) return false;
      *key = v;
      return true;
    }, &found);
    if (err != TLCRASH_ESUCCESS) {
      if (err == TLCRASH_ENOTFOUND) TLCRASH_DIAG("Could not find a second level regular CFE entry for pc=%llx", static_cast<unsigned long long>(pc));
      return err;
    }
    uint32_t function, value;
    if (!read32(reader, entries + found * 8, &function) || !read32(reader, entries + found * 8 + 4, &value)) return TLCRASH_EINVAL;
    *function_base = function;
    *encoding = value;
    return TLCRASH_ESUCCESS;
  }

  if (kind == kCompressedPage) {
    uint32_t counts, encodings_fields;  // entryPageOffset, entryCount; encodingsPageOffset, encodingsCount
    if (!read32(reader, uint64_t{page} + 4, &counts) || !read32(reader, uint64_t{page} + 8, &encodings_fields)) {
      TLCRASH_DIAG("The second-level page header lies outside the mapped CFE range");
      return TLCRASH_EINVAL;
    }
    const uint64_t entries = uint64_t{page} + (counts & 0xFFFF);
    const uint64_t count = counts >> 16;
    if (!contains(reader, entries, count, 4)) {
      TLCRASH_DIAG("CFE entries table lies outside the mapped CFE range");
      return TLCRASH_EINVAL;
    }
    uint64_t found;
    err = count == 0 ? TLCRASH_ENOTFOUND : search(count, pc, [&](uint64_t i, uint64_t* key) {
      uint32_t v;
      if (!read32(reader, entries + i * 4, &v)) return false;
      *key = uint64_t{v & 0x00FFFFFF} + first_function;
      return true;
    }, &found);
    if (err != TLCRASH_ESUCCESS) {
      if (err == TLCRASH_ENOTFOUND) TLCRASH_DIAG("Could not find a second level compressed CFE entry for pc=%llx", static_cast<unsigned long long>(pc));
      return err;
    }
    uint32_t entry;
    if (!read32(reader, entries + found * 4, &entry)) return TLCRASH_EINVAL;
    *function_base = uint64_t{entry & 0x00FFFFFF} + first_function;

    const uint32_t index = entry >> 24;
    if (index < h.common_encodings_count) {
      return read32(reader, uint64_t{h.common_encodings_offset} + index * 4u, encoding) ? TLCRASH_ESUCCESS : TLCRASH_EINVAL;
    }
    const uint64_t own = uint64_t{page} + (encodings_fields & 0xFFFF);
    const uint64_t own_count = encodings_fields >> 16;
    if (!contains(reader, own, own_count, 4)) {
      TLCRASH_DIAG("CFE compressed encodings table lies outside the mapped CFE range");
      return TLCRASH_EINVAL;
    }
    const uint64_t own_index = index - h.common_encodings_count;
    if (own_index >= own_count) {
      TLCRASH_DIAG("Encoding index lies outside the second level encoding table");
      return TLCRASH_EINVAL;
    }
    return read32(reader, own + own_index * 4, encoding) ? TLCRASH_ESUCCESS : TLCRASH_EINVAL;
  }

  TLCRASH_DIAG("Unsupported second-level CFE table kind: 0x%x at 0x%x", kind, page);
  return TLCRASH_EINVAL;
}

template <MemoryReader M>
void tlcrash_async_cfe_reader_free(tlcrash_async_cfe_reader_t<M>*) {}

}  // namespace ml::crash

#include "crashreporter/image/MachOSymbolTable.h"

#include <climits>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/image/MachOFormat.h"

namespace ml::crash {
namespace {

using namespace macho;

// Crash time.
uint32_t commandField(const tlcrash_async_macho* image, const void* command, uint64_t offset) {
  uint32_t value;
  tlcrash_async_memcpy(&value, static_cast<const uint8_t*>(command) + offset, sizeof(value));
  return image->byteorder->swap32(value);
}

// The signed distance from the start of __LINKEDIT's file range to `file_offset`; false when it
// does not fit a signed 64-bit offset.
// Crash time.
bool linkeditOffset(const tlcrash_async_macho_mapped_segment_t& linkedit, uint64_t file_offset, int64_t* offset) {
  if (file_offset >= linkedit.fileoff) {
    uint64_t d = file_offset - linkedit.fileoff;
    if (d > static_cast<uint64_t>(INT64_MAX)) return false;
    *offset = static_cast<int64_t>(d);
  } else {
    uint64_t d = linkedit.fileoff - file_offset;
    if (d > static_cast<uint64_t>(INT64_MAX)) return false;
    *offset = -static_cast<int64_t>(d);
  }
  return true;
}

// Crash time.
const void* mapTable(const tlcrash_async_macho_symtab_reader_t* reader, uint64_t file_offset, uint64_t length,
                     const char* what) {
  const tlcrash_async_mobject* mobj = &reader->linkedit.mobj;
  int64_t offset = 0;
  const void* local = nullptr;
  if (linkeditOffset(reader->linkedit, file_offset, &offset)) {
    local = tlcrash_async_mobject_remap_address(mobj, mobj->target_address, offset, length);
  }
  if (local == nullptr) {
    TLCRASH_DIAG("tlcrash_async_mobject_remap_address(mobj, %llx, %llx) returned NULL mapping __LINKEDIT.%s in %s",
                 static_cast<unsigned long long>(mobj->target_address + static_cast<uint64_t>(offset)),
                 static_cast<unsigned long long>(length), what, reader->image->name.c_str());
  }
  return local;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_macho_symtab_reader_init(tlcrash_async_macho_symtab_reader_t* reader,
                                                       const tlcrash_async_macho* image) {
  *reader = tlcrash_async_macho_symtab_reader_t{};
  reader->image = image;

  const void* symtab_cmd = tlcrash_async_macho_find_command(image, kLcSymtab);
  if (symtab_cmd == nullptr) {
    TLCRASH_DIAG("could not find LC_SYMTAB load command");
    return TLCRASH_ENOTFOUND;
  }
  if (!tlcrash_async_macho_command_body(image, symtab_cmd, kSymtabCommandSize)) {
    TLCRASH_DIAG("LC_SYMTAB command was too short in %s", image->name.c_str());
    return TLCRASH_EINVAL;
  }
  const void* dysymtab_cmd = tlcrash_async_macho_find_command(image, kLcDysymtab);
  if (dysymtab_cmd != nullptr && !tlcrash_async_macho_command_body(image, dysymtab_cmd, kDysymtabCommandMinSize)) {
    TLCRASH_DIAG("LC_DYSYMTAB command was too short in %s", image->name.c_str());
    return TLCRASH_EINVAL;
  }

  tlcrash_error_t err = tlcrash_async_macho_map_segment(image, "__LINKEDIT", &reader->linkedit);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("tlcrash_async_mobject_init() failure: %d in %s", err, image->name.c_str());
    return TLCRASH_EINTERNAL;
  }

  const uint32_t symoff = commandField(image, symtab_cmd, 8);
  const uint32_t nsyms = commandField(image, symtab_cmd, 12);
  const uint32_t stroff = commandField(image, symtab_cmd, 16);
  const uint32_t strsize = commandField(image, symtab_cmd, 20);
  const uint64_t entry_size = image->m64 ? kNlistSize64 : kNlistSize32;

  reader->nsyms = nsyms;
  reader->symtab = mapTable(reader, symoff, static_cast<uint64_t>(nsyms) * entry_size, "symoff");
  if (reader->symtab == nullptr) {
    tlcrash_async_macho_symtab_reader_free(reader);
    return TLCRASH_EINTERNAL;
  }
  reader->string_table_size = strsize;
  reader->string_table = static_cast<const char*>(mapTable(reader, stroff, strsize, "stroff"));
  if (reader->string_table == nullptr) {
    tlcrash_async_macho_symtab_reader_free(reader);
    return TLCRASH_EINTERNAL;
  }

  if (dysymtab_cmd != nullptr) {
    const uint32_t ilocalsym = commandField(image, dysymtab_cmd, 8);
    const uint32_t nlocalsym = commandField(image, dysymtab_cmd, 12);
    const uint32_t iextdefsym = commandField(image, dysymtab_cmd, 16);
    const uint32_t nextdefsym = commandField(image, dysymtab_cmd, 20);
    // Summed in 64 bits: a 32-bit sum could wrap below nsyms and let a range start past the table.
    const uint64_t global_end = static_cast<uint64_t>(iextdefsym) + nextdefsym;
    const uint64_t local_end = static_cast<uint64_t>(ilocalsym) + nlocalsym;
    if (global_end > nsyms || local_end > nsyms) {
      TLCRASH_DIAG("iextdefsym=%llx, ilocalsym=%llx out of range nsym=%x", static_cast<unsigned long long>(global_end),
                   static_cast<unsigned long long>(local_end), nsyms);
      tlcrash_async_macho_symtab_reader_free(reader);
      return TLCRASH_EINVAL;
    }
    const auto* table = static_cast<const uint8_t*>(reader->symtab);
    reader->symtab_global = table + static_cast<uint64_t>(iextdefsym) * entry_size;
    reader->nsyms_global = nextdefsym;
    reader->symtab_local = table + static_cast<uint64_t>(ilocalsym) * entry_size;
    reader->nsyms_local = nlocalsym;
  }
  return TLCRASH_ESUCCESS;
}

// Crash time.
tlcrash_async_macho_symtab_entry_t tlcrash_async_macho_symtab_reader_read(
    const tlcrash_async_macho_symtab_reader_t* reader, const void* table, uint32_t index) {
  const tlcrash_async_macho* image = reader->image;
  const tlcrash_async_byteorder_t* bo = image->byteorder;
  const uint64_t entry_size = image->m64 ? kNlistSize64 : kNlistSize32;
  const auto* entry = static_cast<const uint8_t*>(table) + static_cast<uint64_t>(index) * entry_size;

  tlcrash_async_macho_symtab_entry_t out;
  if (!tlcrash_async_mobject_verify_local_pointer(&reader->linkedit.mobj, reinterpret_cast<uint64_t>(entry), 0,
                                                  entry_size)) {
    return out;  // an index past the table: an empty entry, which no search accepts
  }
  uint32_t strx;
  uint16_t desc;
  tlcrash_async_memcpy(&strx, entry, 4);
  out.n_strx = bo->swap32(strx);
  out.n_type = entry[4];
  out.n_sect = entry[5];
  tlcrash_async_memcpy(&desc, entry + 6, 2);
  out.n_desc = bo->swap16(desc);
  if (image->m64) {
    uint64_t value;
    tlcrash_async_memcpy(&value, entry + 8, 8);
    out.n_value = bo->swap64(value);
  } else {
    uint32_t value;
    tlcrash_async_memcpy(&value, entry + 8, 4);
    out.n_value = bo->swap32(value);
  }
  out.normalized_value = out.n_value;
  if ((out.n_desc & kNArmThumbDef) != 0) out.normalized_value |= 1;
  return out;
}

// Crash time.
const char* tlcrash_async_macho_symtab_reader_symbol_name(const tlcrash_async_macho_symtab_reader_t* reader,
                                                          uint32_t n_strx) {
  // Every byte up to the NUL must lie inside the string table (and so inside the mapping).
  for (uint64_t i = n_strx; i < reader->string_table_size; ++i) {
    if (reader->string_table[i] == '\0') return reader->string_table + n_strx;
  }
  TLCRASH_DIAG("End of mobject reached while walking string");
  return nullptr;
}

// Crash time.
void tlcrash_async_macho_symtab_reader_free(tlcrash_async_macho_symtab_reader_t* reader) {
  tlcrash_async_macho_mapped_segment_free(&reader->linkedit);
  const tlcrash_async_macho* image = reader->image;
  *reader = tlcrash_async_macho_symtab_reader_t{};
  reader->image = image;
}

namespace {

// Crash time.
bool isSectionSymbol(const tlcrash_async_macho_symtab_entry_t& e) {
  return (e.n_type & (kNStab | kNTypeMask)) == kNSect;  // (n_type & 0xEE) == 0x0E
}

// Best-symbol rule: the highest value at or below `search`; ties keep the entry found first.
// Crash time.
void searchTable(const tlcrash_async_macho_symtab_reader_t* reader, const void* table, uint32_t count,
                 uint64_t search, bool* found, tlcrash_async_macho_symtab_entry_t* best) {
  for (uint32_t i = 0; i < count; ++i) {
    tlcrash_async_macho_symtab_entry_t e = tlcrash_async_macho_symtab_reader_read(reader, table, i);
    if (!isSectionSymbol(e) || e.n_value > search) continue;
    if (!*found || e.n_value > best->n_value) {
      *best = e;
      *found = true;
    }
  }
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_macho_find_symbol_by_name(const tlcrash_async_macho* image, const char* name,
                                                        uint64_t* address) {
  tlcrash_async_macho_symtab_reader_t reader;
  tlcrash_error_t err = tlcrash_async_macho_symtab_reader_init(&reader, image);
  if (err != TLCRASH_ESUCCESS) return err;
  err = TLCRASH_ENOTFOUND;
  for (uint32_t i = 0; i < reader.nsyms; ++i) {
    tlcrash_async_macho_symtab_entry_t e = tlcrash_async_macho_symtab_reader_read(&reader, reader.symtab, i);
    if (!isSectionSymbol(e)) continue;
    const char* symbol = tlcrash_async_macho_symtab_reader_symbol_name(&reader, e.n_strx);
    if (symbol != nullptr && tlcrash_async_strcmp(symbol, name) == 0) {
      *address = e.n_value + static_cast<uint64_t>(image->vmaddr_slide);
      err = TLCRASH_ESUCCESS;
      break;
    }
  }
  tlcrash_async_macho_symtab_reader_free(&reader);
  return err;
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_find_symbol_by_pc(const tlcrash_async_macho* image, uint64_t pc,
                                                      tlcrash_async_found_symbol_cb callback, void* context) {
  tlcrash_async_macho_symtab_reader_t reader;
  tlcrash_error_t err = tlcrash_async_macho_symtab_reader_init(&reader, image);
  if (err != TLCRASH_ESUCCESS) return err;

  const uint64_t search = pc - static_cast<uint64_t>(image->vmaddr_slide);
  bool found = false;
  tlcrash_async_macho_symtab_entry_t best;
  if (reader.symtab_global != nullptr && reader.symtab_local != nullptr) {
    searchTable(&reader, reader.symtab_global, reader.nsyms_global, search, &found, &best);
    searchTable(&reader, reader.symtab_local, reader.nsyms_local, search, &found, &best);
  } else {
    searchTable(&reader, reader.symtab, reader.nsyms, search, &found, &best);
  }

  err = TLCRASH_ENOTFOUND;
  if (found) {
    const char* name = tlcrash_async_macho_symtab_reader_symbol_name(&reader, best.n_strx);
    if (name == nullptr) {
      TLCRASH_DIAG("Failed to read symbol name");
      err = TLCRASH_EINVAL;
    } else {
      callback(best.normalized_value + static_cast<uint64_t>(image->vmaddr_slide), name, context);
      err = TLCRASH_ESUCCESS;
    }
  }
  tlcrash_async_macho_symtab_reader_free(&reader);
  return err;
}

}  // namespace ml::crash

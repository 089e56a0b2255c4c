#include "crashreporter/image/ElfSymbols.h"

#include <algorithm>
#include <cerrno>
#include <elf.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "crashreporter/AsyncString.h"
#include "crashreporter/image/ElfSymbolReads.h"

namespace ml::crash {
namespace {

constexpr uint64_t kMaxNoteSectionBytes = 64 * 1024;
constexpr size_t kEntriesPerIndexRead = 1024;
constexpr char kDebugFileRoot[] = "/usr/lib/debug";
// More symbols than any real image has: a larger count is a damaged table.
constexpr uint64_t kMaxIndexedSymbols = 8ull * 1024 * 1024;

// A symbol on its way into the index, with the end of its section (0 when unknown).
struct PendingSymbol {
  tlcrash_elf_symbol_extent extent;
  uint64_t section_end;
};

// Sorts the collected symbols and gives every sizeless one the extent up to the next start, but
// never past the end of its section (or of the image's code, `code_end`, link-time), as a
// debugger bounds it.
std::vector<tlcrash_elf_symbol_extent> finishIndex(std::vector<PendingSymbol>* pending, uint64_t code_end) {
  std::stable_sort(pending->begin(), pending->end(),
                   [](const PendingSymbol& a, const PendingSymbol& b) { return a.extent.start < b.extent.start; });
  std::vector<tlcrash_elf_symbol_extent> index;
  index.reserve(pending->size());
  size_t next = 0;
  for (size_t i = 0; i < pending->size(); ++i) {
    tlcrash_elf_symbol_extent e = (*pending)[i].extent;
    if (e.end == 0) {
      if (next <= i) next = i + 1;
      while (next < pending->size() && (*pending)[next].extent.start == e.start) ++next;
      uint64_t end = next < pending->size() ? (*pending)[next].extent.start : code_end;
      const uint64_t section_end = (*pending)[i].section_end;
      if (section_end > e.start && (end <= e.start || section_end < end)) end = section_end;
      e.end = end > e.start ? end : e.start + 1;
    }
    index.push_back(e);
  }
  return index;
}

void addToIndex(const Elf64_Sym& s, const std::vector<uint64_t>& section_ends, std::vector<PendingSymbol>* pending) {
  if (!tlcrash_async_elf_symbol_is_function(s)) return;
  // A size that runs off the address space is damaged: treat the symbol as sizeless.
  const uint64_t end = s.st_size != 0 && s.st_value + s.st_size > s.st_value ? s.st_value + s.st_size : 0;
  const uint64_t section_end = s.st_shndx < section_ends.size() ? section_ends[s.st_shndx] : 0;
  pending->push_back(PendingSymbol{tlcrash_elf_symbol_extent{s.st_value, end, s.st_name}, section_end});
}


// `build_id` receives the file's full build-id (hex) when it has one.
// `section_ends` receives, per section index, the end address of each allocated section.
tlcrash_error_t locateSymtab(tlcrash_elf_file_symbols* symbols, const char* path, const tlcrash_async_elf* image,
                             std::string* build_id, std::vector<uint64_t>* section_ends) {
  *symbols = tlcrash_elf_file_symbols{};
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return TLCRASH_ENOTFOUND;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return TLCRASH_ENOTFOUND;
  const auto file_size = static_cast<uint64_t>(st.st_size);
  auto inFile = [&](uint64_t offset, uint64_t size) { return offset <= file_size && size <= file_size - offset; };

  Elf64_Ehdr header;
  if (!tlcrash_async_pread_all(fd, &header, sizeof(header), 0)) return TLCRASH_EINVAL;
  if (header.e_ident[EI_MAG0] != ELFMAG0 || header.e_ident[EI_MAG1] != ELFMAG1 || header.e_ident[EI_MAG2] != ELFMAG2 ||
      header.e_ident[EI_MAG3] != ELFMAG3 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_machine != image->machine ||
      header.e_shentsize < sizeof(Elf64_Shdr) || header.e_shoff == 0) {
    return TLCRASH_EINVAL;
  }

  uint64_t count = header.e_shnum;
  Elf64_Shdr first;
  if (!inFile(header.e_shoff, sizeof(first)) || !tlcrash_async_pread_all(fd, &first, sizeof(first), header.e_shoff)) return TLCRASH_EINVAL;
  if (count == 0) count = first.sh_size;  // more than 0xff00 sections: the count lives in section 0
  if (count == 0 || count > file_size / header.e_shentsize || !inFile(header.e_shoff, count * header.e_shentsize)) {
    return TLCRASH_EINVAL;
  }
  std::vector<Elf64_Shdr> sections(count);
  for (uint64_t i = 0; i < count; ++i) {
    if (!tlcrash_async_pread_all(fd, &sections[i], sizeof(Elf64_Shdr), header.e_shoff + i * header.e_shentsize)) return TLCRASH_EINVAL;
  }
  section_ends->assign(count, 0);
  for (uint64_t i = 0; i < count; ++i) {
    const Elf64_Shdr& section = sections[i];
    if ((section.sh_flags & SHF_ALLOC) != 0 && section.sh_addr + section.sh_size > section.sh_addr) {
      (*section_ends)[i] = section.sh_addr + section.sh_size;
    }
  }

  // The file must be the build that was loaded: compare build-ids when the image has one.
  if (image->has_uuid) {
    bool matched = false;
    for (const Elf64_Shdr& s : sections) {
      if (s.sh_type != SHT_NOTE || s.sh_size > kMaxNoteSectionBytes || !inFile(s.sh_offset, s.sh_size)) continue;
      std::vector<uint8_t> notes(s.sh_size);
      if (!tlcrash_async_pread_all(fd, notes.data(), notes.size(), s.sh_offset)) continue;
      for (uint64_t at = 0; at + 12 <= notes.size();) {
        uint32_t namesz, descsz, type;
        tlcrash_async_memcpy(&namesz, &notes[at], 4);
        tlcrash_async_memcpy(&descsz, &notes[at + 4], 4);
        tlcrash_async_memcpy(&type, &notes[at + 8], 4);
        const uint64_t desc = at + 12 + ((uint64_t{namesz} + 3) & ~uint64_t{3});
        const uint64_t next = desc + ((uint64_t{descsz} + 3) & ~uint64_t{3});
        if (next > notes.size()) break;
        if (type == NT_GNU_BUILD_ID && namesz == 4 && tlcrash_async_strncmp(reinterpret_cast<char*>(&notes[at + 12]), "GNU", 4) == 0) {
          uint8_t id[16] = {};
          tlcrash_async_memcpy(id, &notes[desc], descsz < 16 ? descsz : 16);
          matched = true;
          for (int b = 0; b < 16; ++b) matched = matched && id[b] == image->uuid[b];
          if (!matched) return TLCRASH_EINVAL;
          static const char kHex[] = "0123456789abcdef";
          build_id->clear();
          for (uint32_t b = 0; b < descsz; ++b) {
            build_id->push_back(kHex[notes[desc + b] >> 4]);
            build_id->push_back(kHex[notes[desc + b] & 0xF]);
          }
        }
        at = next;
      }
    }
    if (!matched) return TLCRASH_EINVAL;
  }

  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type != SHT_SYMTAB) continue;
    if (s.sh_entsize < sizeof(Elf64_Sym) || !inFile(s.sh_offset, s.sh_size) || s.sh_link >= count) return TLCRASH_EINVAL;
    const Elf64_Shdr& strings = sections[s.sh_link];
    if (strings.sh_type != SHT_STRTAB || !inFile(strings.sh_offset, strings.sh_size)) return TLCRASH_EINVAL;
    symbols->symtab_offset = s.sh_offset;
    symbols->symtab_size = s.sh_size;
    symbols->symtab_entsize = s.sh_entsize;
    symbols->strtab_offset = strings.sh_offset;
    symbols->strtab_size = strings.sh_size;
    symbols->device = st.st_dev;
    symbols->inode = st.st_ino;
    symbols->file_size = st.st_size;
    symbols->mtime_sec = st.st_mtim.tv_sec;
    symbols->mtime_nsec = st.st_mtim.tv_nsec;
    symbols->available = true;
    symbols->symtab_path = path;
    return TLCRASH_ESUCCESS;
  }
  return TLCRASH_ENOTFOUND;
}

// A stripped image's symbol table lives in its detached debug file, found by build-id as the
// debuggers look for it.
tlcrash_error_t locateSymtabWithDebugFile(tlcrash_elf_file_symbols* symbols, const char* path,
                                          const tlcrash_async_elf* image, std::vector<uint64_t>* section_ends) {
  std::string build_id;
  const tlcrash_error_t err = locateSymtab(symbols, path, image, &build_id, section_ends);
  if (err != TLCRASH_ENOTFOUND || build_id.size() < 4) return err;
  const std::string debug_path =
      std::string(kDebugFileRoot) + "/.build-id/" + build_id.substr(0, 2) + "/" + build_id.substr(2) + ".debug";
  std::string debug_build_id;
  std::vector<uint64_t> debug_section_ends;
  tlcrash_elf_file_symbols debug;
  if (locateSymtab(&debug, debug_path.c_str(), image, &debug_build_id, &debug_section_ends) != TLCRASH_ESUCCESS ||
      debug_build_id != build_id) {
    return err;
  }
  *section_ends = std::move(debug_section_ends);
  *symbols = std::move(debug);
  return TLCRASH_ESUCCESS;
}

// Indexes the file's .symtab (when located and still readable) or else the image's .dynsym.
void buildIndex(tlcrash_elf_file_symbols* symbols, const tlcrash_async_elf* image,
                const std::vector<uint64_t>& section_ends) {
  std::vector<PendingSymbol> index;
  tlcrash_elf_symbol_table table = tlcrash_elf_symbol_table::kNone;
  std::vector<Elf64_Sym> chunk(kEntriesPerIndexRead);

  if (symbols->available) {
    const uint64_t count = symbols->symtab_size / symbols->symtab_entsize;
    int fd = ::open(symbols->symtab_path.c_str(), O_RDONLY | O_CLOEXEC);
    bool complete = fd >= 0 && count <= kMaxIndexedSymbols;
    for (uint64_t i = 0; complete && i < count;) {
      const uint64_t n = count - i < chunk.size() ? count - i : chunk.size();
      for (uint64_t k = 0; complete && k < n; ++k) {
        complete = tlcrash_async_pread_all(fd, &chunk[k], sizeof(Elf64_Sym), symbols->symtab_offset + (i + k) * symbols->symtab_entsize);
      }
      for (uint64_t k = 0; complete && k < n; ++k) addToIndex(chunk[k], section_ends, &index);
      i += n;
    }
    if (fd >= 0) ::close(fd);
    if (complete) {
      table = tlcrash_elf_symbol_table::kFile;
    } else {
      index.clear();
      symbols->available = false;
    }
  }
  if (table == tlcrash_elf_symbol_table::kNone && tlcrash_async_elf_has_dynamic_symbols(image) && image->dynsym_count <= kMaxIndexedSymbols) {
    bool complete = true;
    for (uint64_t i = 0; complete && i < image->dynsym_count;) {
      const uint64_t n = image->dynsym_count - i < chunk.size() ? image->dynsym_count - i : chunk.size();
      complete = tlcrash_async_elf_read_dynamic_symbols(image, i, n, chunk.data());
      for (uint64_t k = 0; complete && k < n; ++k) addToIndex(chunk[k], section_ends, &index);
      i += n;
    }
    if (complete) table = tlcrash_elf_symbol_table::kDynamic;
    else index.clear();
  }
  const uint64_t code_end = image->header_addr + image->text_size - static_cast<uint64_t>(image->bias);
  symbols->index = finishIndex(&index, code_end);
  symbols->index_table = table;
}

}  // namespace

tlcrash_error_t tlcrash_nasync_elf_file_symbols_init(tlcrash_elf_file_symbols* symbols, const char* path,
                                                     const tlcrash_async_elf* image) {
  std::vector<uint64_t> section_ends;
  const tlcrash_error_t err = locateSymtabWithDebugFile(symbols, path, image, &section_ends);
  buildIndex(symbols, image, section_ends);
  return err;
}

}  // namespace ml::crash

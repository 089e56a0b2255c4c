#include "crashreporter/image/ElfSymbols.h"

#include <cerrno>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

constexpr size_t kNameCapacity = 256;   // 255 bytes and the NUL
constexpr size_t kEntriesPerChunk = 32; // symbols read per call (768 bytes of stack)
constexpr uint64_t kMaxNoteSectionBytes = 64 * 1024;

bool isFunction(const Elf64_Sym& s) {
  const unsigned type = ELF64_ST_TYPE(s.st_info);
  return (type == STT_FUNC || type == STT_GNU_IFUNC) && s.st_shndx != SHN_UNDEF && s.st_value != 0;
}

struct Best {
  bool found = false;
  uint64_t value = 0;
  uint8_t table = 0;    // 1: .dynsym, 2: .symtab
  uint32_t name = 0;    // st_name
};

void consider(const Elf64_Sym& s, uint64_t search, uint8_t table, Best* best) {
  if (!isFunction(s) || s.st_value > search) return;
  if (!best->found || s.st_value > best->value) {
    best->found = true;
    best->value = s.st_value;
    best->table = table;
    best->name = s.st_name;
  }
}

// Reads `length` bytes at `offset` of the file; false on a short read. Retries after EINTR.
bool preadAll(int fd, void* out, size_t length, uint64_t offset) {
  auto* p = static_cast<char*>(out);
  while (length > 0) {
    ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

void searchDynsym(const tlcrash_async_elf* image, uint64_t search, Best* best) {
  if (image->dynsym_addr == 0 || image->dynsym_entsize < sizeof(Elf64_Sym)) return;
  Elf64_Sym chunk[kEntriesPerChunk];
  for (uint64_t i = 0; i < image->dynsym_count;) {
    uint64_t n = image->dynsym_count - i < kEntriesPerChunk ? image->dynsym_count - i : kEntriesPerChunk;
    if (image->dynsym_entsize == sizeof(Elf64_Sym)) {
      if (tlcrash_async_task_memcpy(image->task, image->dynsym_addr + i * sizeof(Elf64_Sym), 0, chunk,
                                    n * sizeof(Elf64_Sym)) != TLCRASH_ESUCCESS) {
        return;
      }
    } else {
      for (uint64_t k = 0; k < n; ++k) {
        if (tlcrash_async_task_memcpy(image->task, image->dynsym_addr + (i + k) * image->dynsym_entsize, 0, &chunk[k],
                                      sizeof(Elf64_Sym)) != TLCRASH_ESUCCESS) {
          return;
        }
      }
    }
    for (uint64_t k = 0; k < n; ++k) consider(chunk[k], search, 1, best);
    i += n;
  }
}

bool sameFile(const tlcrash_elf_file_symbols* symbols, const struct stat& st) {
  return st.st_dev == symbols->device && st.st_ino == symbols->inode && st.st_size == symbols->file_size &&
         st.st_mtim.tv_sec == symbols->mtime_sec && st.st_mtim.tv_nsec == symbols->mtime_nsec;
}

void searchSymtab(int fd, const tlcrash_elf_file_symbols* symbols, uint64_t search, Best* best) {
  const uint64_t count = symbols->symtab_size / symbols->symtab_entsize;
  Elf64_Sym chunk[kEntriesPerChunk];
  for (uint64_t i = 0; i < count;) {
    uint64_t n = count - i < kEntriesPerChunk ? count - i : kEntriesPerChunk;
    if (symbols->symtab_entsize == sizeof(Elf64_Sym)) {
      if (!preadAll(fd, chunk, n * sizeof(Elf64_Sym), symbols->symtab_offset + i * sizeof(Elf64_Sym))) return;
    } else {
      for (uint64_t k = 0; k < n; ++k) {
        if (!preadAll(fd, &chunk[k], sizeof(Elf64_Sym), symbols->symtab_offset + (i + k) * symbols->symtab_entsize)) {
          return;
        }
      }
    }
    for (uint64_t k = 0; k < n; ++k) consider(chunk[k], search, 2, best);
    i += n;
  }
}

// Copies the name at `offset` of a string table of `size` bytes into `name` (cut to 255 bytes).
// `read` fetches bytes of the table: from the task or from the file.
template <typename Read>
bool readName(uint64_t offset, uint64_t size, char* name, Read read) {
  if (offset >= size) return false;
  uint64_t n = size - offset < kNameCapacity - 1 ? size - offset : kNameCapacity - 1;
  if (!read(offset, name, n)) {
    // The table may end at an unreadable page before the name's 255 bytes do: read byte by byte.
    uint64_t k = 0;
    for (; k < n; ++k) {
      if (!read(offset + k, name + k, 1) || name[k] == '\0') break;
    }
    if (k == 0) return false;
    n = k;
  }
  name[n] = '\0';
  return true;
}

}  // namespace

tlcrash_error_t tlcrash_nasync_elf_file_symbols_init(tlcrash_elf_file_symbols* symbols, const char* path,
                                                     const tlcrash_async_elf* image) {
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
  if (!preadAll(fd, &header, sizeof(header), 0)) return TLCRASH_EINVAL;
  if (header.e_ident[EI_MAG0] != ELFMAG0 || header.e_ident[EI_MAG1] != ELFMAG1 || header.e_ident[EI_MAG2] != ELFMAG2 ||
      header.e_ident[EI_MAG3] != ELFMAG3 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_machine != image->machine ||
      header.e_shentsize < sizeof(Elf64_Shdr) || header.e_shoff == 0) {
    return TLCRASH_EINVAL;
  }

  uint64_t count = header.e_shnum;
  Elf64_Shdr first;
  if (!inFile(header.e_shoff, sizeof(first)) || !preadAll(fd, &first, sizeof(first), header.e_shoff)) return TLCRASH_EINVAL;
  if (count == 0) count = first.sh_size;  // more than 0xff00 sections: the count lives in section 0
  if (count == 0 || count > file_size / header.e_shentsize || !inFile(header.e_shoff, count * header.e_shentsize)) {
    return TLCRASH_EINVAL;
  }
  std::vector<Elf64_Shdr> sections(count);
  for (uint64_t i = 0; i < count; ++i) {
    if (!preadAll(fd, &sections[i], sizeof(Elf64_Shdr), header.e_shoff + i * header.e_shentsize)) return TLCRASH_EINVAL;
  }

  // The file must be the build that was loaded: compare build-ids when the image has one.
  if (image->has_uuid) {
    bool matched = false;
    for (const Elf64_Shdr& s : sections) {
      if (s.sh_type != SHT_NOTE || s.sh_size > kMaxNoteSectionBytes || !inFile(s.sh_offset, s.sh_size)) continue;
      std::vector<uint8_t> notes(s.sh_size);
      if (!preadAll(fd, notes.data(), notes.size(), s.sh_offset)) continue;
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
    return TLCRASH_ESUCCESS;
  }
  return TLCRASH_ENOTFOUND;
}

tlcrash_error_t tlcrash_async_elf_find_symbol_by_pc(const tlcrash_async_elf* image,
                                                    const tlcrash_elf_file_symbols* file_symbols, uint64_t pc,
                                                    tlcrash_async_found_symbol_cb callback, void* context) {
  const int saved_errno = errno;
  const uint64_t search = pc - static_cast<uint64_t>(image->bias);
  Best best;
  searchDynsym(image, search, &best);

  int fd = -1;
  if (file_symbols != nullptr && file_symbols->available && image->name != nullptr && image->name[0] != '\0') {
    fd = ::open(image->name, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && sameFile(file_symbols, st)) searchSymtab(fd, file_symbols, search, &best);
  }

  tlcrash_error_t err = TLCRASH_ENOTFOUND;
  char name[kNameCapacity];
  if (best.found) {
    bool named;
    if (best.table == 1) {
      named = readName(best.name, image->dynstr_size, name, [&](uint64_t offset, char* out, uint64_t n) {
        return tlcrash_async_task_memcpy(image->task, image->dynstr_addr, static_cast<int64_t>(offset), out, n) ==
               TLCRASH_ESUCCESS;
      });
    } else {
      named = readName(best.name, file_symbols->strtab_size, name, [&](uint64_t offset, char* out, uint64_t n) {
        return preadAll(fd, out, n, file_symbols->strtab_offset + offset);
      });
    }
    if (named) {
      callback(best.value + static_cast<uint64_t>(image->bias), name, context);
      err = TLCRASH_ESUCCESS;
    } else {
      err = TLCRASH_EINVAL;  // the symbol's name lies outside its string table
    }
  }
  if (fd >= 0) ::close(fd);
  errno = saved_errno;
  return err;
}

}  // namespace ml::crash

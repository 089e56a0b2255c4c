#include "crashreporter/image/ElfSymbols.h"

#include <cerrno>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreporter/AsyncString.h"
#include "crashreporter/image/ElfSymbolReads.h"

namespace ml::crash {
namespace {

constexpr size_t kNameCapacity = 256;   // 255 bytes and the NUL
constexpr size_t kEntriesPerChunk = 32; // symbols read per call (768 bytes of stack)

}  // namespace

// Crash time.
bool tlcrash_async_elf_symbol_is_function(const Elf64_Sym& s) {
  const unsigned type = ELF64_ST_TYPE(s.st_info);
  return (type == STT_FUNC || type == STT_GNU_IFUNC) && s.st_shndx != SHN_UNDEF && s.st_value != 0;
}

// Crash time.
bool tlcrash_async_pread_all(int fd, void* out, size_t length, uint64_t offset) {
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

// Crash time.
bool tlcrash_async_elf_read_dynamic_symbols(const tlcrash_async_elf* image, uint64_t first, uint64_t count,
                                            Elf64_Sym* out) {
  if (image->dynsym_entsize == sizeof(Elf64_Sym)) {
    return tlcrash_async_task_memcpy(image->task, image->dynsym_addr + first * sizeof(Elf64_Sym), 0, out,
                                     count * sizeof(Elf64_Sym)) == TLCRASH_ESUCCESS;
  }
  for (uint64_t k = 0; k < count; ++k) {
    if (tlcrash_async_task_memcpy(image->task, image->dynsym_addr + (first + k) * image->dynsym_entsize, 0, &out[k],
                                  sizeof(Elf64_Sym)) != TLCRASH_ESUCCESS) {
      return false;
    }
  }
  return true;
}

// Crash time.
bool tlcrash_async_elf_has_dynamic_symbols(const tlcrash_async_elf* image) {
  return image->dynsym_addr != 0 && image->dynsym_entsize >= sizeof(Elf64_Sym);
}

namespace {

// The best candidate of a scan of a whole table at crash time: the sized symbol with the highest
// start at or below the search value.
struct Scan {
  bool found = false;
  uint64_t start = 0;
  uint64_t size = 0;
  uint32_t name = 0;
};

// Crash time.
bool sizedCovers(uint64_t start, uint64_t size, uint64_t search) { return size != 0 && search - start < size; }

// Crash time.
void consider(const Elf64_Sym& s, uint64_t search, Scan* scan) {
  if (!tlcrash_async_elf_symbol_is_function(s)) return;
  // Without section bounds at hand, a sizeless symbol's extent is a guess: it names nothing.
  if (s.st_value > search || s.st_size == 0) return;
  bool take = !scan->found || s.st_value > scan->start;
  if (!take && s.st_value == scan->start) {
    // Same start: one that covers beats one that does not; of two that cover, the smaller.
    const bool candidate = sizedCovers(s.st_value, s.st_size, search);
    const bool best = sizedCovers(scan->start, scan->size, search);
    take = candidate && (!best || s.st_size < scan->size);
  }
  if (take) {
    scan->found = true;
    scan->start = s.st_value;
    scan->size = s.st_size;
    scan->name = s.st_name;
  }
}

// Crash time.
bool scanCovers(const Scan& scan, uint64_t search) { return scan.found && sizedCovers(scan.start, scan.size, search); }

// Crash time.
void scanDynsym(const tlcrash_async_elf* image, uint64_t search, Scan* scan) {
  if (!tlcrash_async_elf_has_dynamic_symbols(image)) return;
  Elf64_Sym chunk[kEntriesPerChunk];
  for (uint64_t i = 0; i < image->dynsym_count;) {
    uint64_t n = image->dynsym_count - i < kEntriesPerChunk ? image->dynsym_count - i : kEntriesPerChunk;
    if (!tlcrash_async_elf_read_dynamic_symbols(image, i, n, chunk)) return;
    for (uint64_t k = 0; k < n; ++k) consider(chunk[k], search, scan);
    i += n;
  }
}

// The index entry covering `search`: of the symbols with the highest start at or below it, the
// smallest that covers it, the first in table order on a tie. Null when none covers it.
// Crash time.
const tlcrash_elf_symbol_extent* indexLookup(const std::vector<tlcrash_elf_symbol_extent>& index, uint64_t search) {
  size_t low = 0, high = index.size();  // first entry starting above search
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (index[mid].start <= search) low = mid + 1;
    else high = mid;
  }
  if (low == 0) return nullptr;
  const uint64_t start = index[low - 1].start;
  size_t first = low - 1;
  while (first > 0 && index[first - 1].start == start) --first;
  const tlcrash_elf_symbol_extent* best = nullptr;
  for (size_t i = first; i < low; ++i) {
    const tlcrash_elf_symbol_extent& e = index[i];
    if (search >= e.end) continue;
    if (best == nullptr || e.end < best->end) best = &e;
  }
  return best;
}


// Crash time.
bool sameFile(const tlcrash_elf_file_symbols* symbols, const struct stat& st) {
  return st.st_dev == symbols->device && st.st_ino == symbols->inode && st.st_size == symbols->file_size &&
         st.st_mtim.tv_sec == symbols->mtime_sec && st.st_mtim.tv_nsec == symbols->mtime_nsec;
}

// Copies the name at `offset` of a string table of `size` bytes into `name` (cut to 255 bytes).
// `read` fetches bytes of the table: from the task or from the file.
// Crash time.
template <typename Read>
// Crash time.
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

// Crash time.
tlcrash_error_t tlcrash_async_elf_find_symbol_by_pc(const tlcrash_async_elf* image,
                                                    const tlcrash_elf_file_symbols* file_symbols, uint64_t pc,
                                                    tlcrash_async_found_symbol_cb callback, void* context) {
  const int saved_errno = errno;
  const uint64_t search = pc - static_cast<uint64_t>(image->bias);

  bool found = false;
  uint64_t start = 0;
  uint32_t name_offset = 0;
  tlcrash_elf_symbol_table table = tlcrash_elf_symbol_table::kDynamic;
  if (file_symbols != nullptr && file_symbols->index_table != tlcrash_elf_symbol_table::kNone) {
    table = file_symbols->index_table;
    if (const tlcrash_elf_symbol_extent* hit = indexLookup(file_symbols->index, search); hit != nullptr) {
      found = true;
      start = hit->start;
      name_offset = hit->name;
    }
  } else {
    Scan scan;
    scanDynsym(image, search, &scan);
    if (scanCovers(scan, search)) {
      found = true;
      start = scan.start;
      name_offset = scan.name;
    }
  }

  tlcrash_error_t err = TLCRASH_ENOTFOUND;
  char name[kNameCapacity];
  bool named = false;
  if (found && table == tlcrash_elf_symbol_table::kDynamic) {
    named = readName(name_offset, image->dynstr_size, name, [&](uint64_t offset, char* out, uint64_t n) {
      return tlcrash_async_task_memcpy(image->task, image->dynstr_addr, static_cast<int64_t>(offset), out, n) ==
             TLCRASH_ESUCCESS;
    });
  } else if (found) {
    // The file must still be the one the index was built from, or the name could be another's.
    int fd = ::open(file_symbols->symtab_path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && sameFile(file_symbols, st)) {
      named = readName(name_offset, file_symbols->strtab_size, name, [&](uint64_t offset, char* out, uint64_t n) {
        return tlcrash_async_pread_all(fd, out, n, file_symbols->strtab_offset + offset);
      });
    }
    if (fd >= 0) ::close(fd);
  }
  if (named) {
    callback(start + static_cast<uint64_t>(image->bias), name, context);
    err = TLCRASH_ESUCCESS;
  }
  errno = saved_errno;
  return err;
}

}  // namespace ml::crash

#include "crashreporter/image/ElfImage.h"

#include <elf.h>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/image/MachOFormat.h"

namespace ml::crash {
namespace {

// Bounds on tables read from the image, so that a damaged header cannot make the parse run for
// long: real images have a dozen program headers, a few dozen dynamic entries and one note.
constexpr uint64_t kMaxDynamicEntries = 4096;
constexpr uint64_t kMaxNoteBytes = 64 * 1024;
constexpr uint64_t kMaxGnuHashChain = 1u << 24;
constexpr uint32_t kGnuBuildIdNote = 3;  // NT_GNU_BUILD_ID

// Crash time.
bool readAt(const tlcrash_async_elf* image, uint64_t address, uint64_t offset, void* out, size_t length) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return tlcrash_async_task_memcpy(image->task, address, static_cast<int64_t>(offset), out, length) == TLCRASH_ESUCCESS;
}

// Crash time.
uint64_t align4(uint64_t n) { return (n + 3) & ~uint64_t{3}; }

// Walks a note segment for the GNU build-id.
// Crash time.
void readBuildId(tlcrash_async_elf* image, uint64_t address, uint64_t size) {
  if (size > kMaxNoteBytes) size = kMaxNoteBytes;
  uint64_t offset = 0;
  while (offset <= size && size - offset >= 12) {
    uint32_t head[3];  // namesz, descsz, type
    if (!readAt(image, address, offset, head, sizeof(head))) return;
    const uint64_t name_at = offset + 12;
    const uint64_t desc_at = name_at + align4(head[0]);
    const uint64_t next = desc_at + align4(head[1]);
    if (next > size) return;
    if (head[2] == kGnuBuildIdNote && head[0] == 4) {
      char owner[4];
      if (readAt(image, address, name_at, owner, 4) && owner[0] == 'G' && owner[1] == 'N' && owner[2] == 'U' &&
          owner[3] == '\0') {
        const uint64_t n = head[1] < 16 ? head[1] : 16;
        if (n > 0 && readAt(image, address, desc_at, image->uuid, n)) image->has_uuid = true;
        return;
      }
    }
    offset = next;
  }
}

// The loader rewrites most address entries of a loaded image's dynamic section to run-time
// addresses; images it did not load (the vDSO, copies made by tests) keep link-time ones. A value
// already inside the image's run-time span is taken as is, any other is moved by the bias.
// Crash time.
uint64_t runtimeAddress(const tlcrash_async_elf* image, uint64_t value, uint64_t span_end) {
  if (value >= image->header_addr && value < span_end) return value;
  return value + static_cast<uint64_t>(image->bias);
}

// Number of dynamic symbols from a GNU hash table: one past the highest index any chain reaches.
// Crash time.
uint64_t gnuHashSymbolCount(const tlcrash_async_elf* image, uint64_t table) {
  uint32_t head[4];  // nbuckets, symoffset, bloom_size, bloom_shift
  if (!readAt(image, table, 0, head, sizeof(head))) return 0;
  const uint64_t buckets = 16 + static_cast<uint64_t>(head[2]) * 8;
  const uint64_t chains = buckets + static_cast<uint64_t>(head[0]) * 4;
  uint32_t highest = 0;
  uint32_t chunk[64];
  for (uint64_t i = 0; i < head[0];) {
    uint64_t n = head[0] - i < 64 ? head[0] - i : 64;
    if (!readAt(image, table, buckets + i * 4, chunk, n * 4)) return 0;
    for (uint64_t k = 0; k < n; ++k) {
      if (chunk[k] > highest) highest = chunk[k];
    }
    i += n;
  }
  if (highest < head[1]) return head[1];
  for (uint64_t index = highest; index - highest < kMaxGnuHashChain; ++index) {
    uint32_t hash;
    if (!readAt(image, table, chains + (index - head[1]) * 4, &hash, 4)) return 0;
    if ((hash & 1) != 0) return index + 1;
  }
  return 0;
}

// Crash time.
void readDynamic(tlcrash_async_elf* image, uint64_t span_end) {
  uint64_t symtab = 0, strtab = 0, strsz = 0, syment = 0, hash = 0, gnu_hash = 0;
  uint64_t count = image->dynamic_size / sizeof(Elf64_Dyn);
  if (count > kMaxDynamicEntries) count = kMaxDynamicEntries;
  for (uint64_t i = 0; i < count; ++i) {
    Elf64_Dyn entry;
    if (!readAt(image, image->dynamic_addr, i * sizeof(entry), &entry, sizeof(entry))) return;
    if (entry.d_tag == DT_NULL) break;
    switch (entry.d_tag) {
      case DT_SYMTAB: symtab = entry.d_un.d_ptr; break;
      case DT_STRTAB: strtab = entry.d_un.d_ptr; break;
      case DT_STRSZ: strsz = entry.d_un.d_val; break;
      case DT_SYMENT: syment = entry.d_un.d_val; break;
      case DT_HASH: hash = entry.d_un.d_ptr; break;
      case DT_GNU_HASH: gnu_hash = entry.d_un.d_ptr; break;
      default: break;
    }
  }
  if (symtab == 0 || strtab == 0) return;
  if (syment == 0) syment = sizeof(Elf64_Sym);
  if (syment < sizeof(Elf64_Sym)) return;

  const uint64_t sym_addr = runtimeAddress(image, symtab, span_end);
  const uint64_t str_addr = runtimeAddress(image, strtab, span_end);
  uint64_t n = 0;
  if (hash != 0) {
    uint32_t nchain;
    if (readAt(image, runtimeAddress(image, hash, span_end), 4, &nchain, 4)) n = nchain;
  } else if (gnu_hash != 0) {
    n = gnuHashSymbolCount(image, runtimeAddress(image, gnu_hash, span_end));
  } else if (str_addr > sym_addr) {
    n = (str_addr - sym_addr) / syment;  // the usual layout: .dynstr right after .dynsym
  }
  image->dynsym_addr = sym_addr;
  image->dynsym_count = n;
  image->dynsym_entsize = syment;
  image->dynstr_addr = str_addr;
  image->dynstr_size = strsz;
}

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_elf_init(tlcrash_async_elf* image, tlcrash_task_t task, const char* name,
                                       uint64_t header_address) {
  *image = tlcrash_async_elf{};
  image->task = task;
  image->header_addr = header_address;
  image->name = name != nullptr ? name : "";

  Elf64_Ehdr header;
  tlcrash_error_t err = tlcrash_async_task_memcpy(task, header_address, 0, &header, sizeof(header));
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to read ELF header from 0x%llx for image %s: %d",
                 static_cast<unsigned long long>(header_address), image->name, err);
    return err;
  }
  if (header.e_ident[EI_MAG0] != ELFMAG0 || header.e_ident[EI_MAG1] != ELFMAG1 || header.e_ident[EI_MAG2] != ELFMAG2 ||
      header.e_ident[EI_MAG3] != ELFMAG3 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_phentsize < sizeof(Elf64_Phdr) || header.e_phnum == 0 ||
      header.e_phnum >= PN_XNUM) {
    TLCRASH_DIAG("Unsupported ELF image in: %s", image->name);
    return TLCRASH_EINVAL;
  }
  image->machine = header.e_machine;

  // First pass: the segment that maps the header fixes the bias.
  bool based = false;
  for (uint32_t i = 0; i < header.e_phnum && !based; ++i) {
    Elf64_Phdr ph;
    if (!readAt(image, header_address, header.e_phoff + static_cast<uint64_t>(i) * header.e_phentsize, &ph, sizeof(ph))) {
      TLCRASH_DIAG("Failed to read ELF program header %u in: %s", i, image->name);
      return TLCRASH_EINVAL;
    }
    if (ph.p_type == PT_LOAD && ph.p_offset == 0) {
      image->bias = static_cast<int64_t>(header_address - ph.p_vaddr);
      based = true;
    }
  }
  if (!based) {
    TLCRASH_DIAG("ELF header is not in a loadable segment in: %s", image->name);
    return TLCRASH_EINVAL;
  }

  // Second pass: code span, tables and notes, in run-time addresses.
  const auto bias = static_cast<uint64_t>(image->bias);
  uint64_t text_end = 0, span_end = header_address;
  uint64_t note_addr[4] = {}, note_size[4] = {};
  uint32_t notes = 0;
  for (uint32_t i = 0; i < header.e_phnum; ++i) {
    Elf64_Phdr ph;
    if (!readAt(image, header_address, header.e_phoff + static_cast<uint64_t>(i) * header.e_phentsize, &ph, sizeof(ph))) {
      return TLCRASH_EINVAL;
    }
    uint64_t end;
    if (__builtin_add_overflow(ph.p_vaddr, ph.p_memsz, &end)) continue;
    const uint64_t start = ph.p_vaddr + bias;
    end += bias;
    switch (ph.p_type) {
      case PT_LOAD:
        if (end > span_end) span_end = end;
        if ((ph.p_flags & PF_X) != 0 && end > text_end) text_end = end;
        break;
      case PT_DYNAMIC:
        image->dynamic_addr = start;
        image->dynamic_size = ph.p_memsz;
        break;
      case PT_GNU_EH_FRAME:
        image->eh_frame_hdr_addr = start;
        image->eh_frame_hdr_size = ph.p_memsz;
        break;
      case PT_NOTE:
        if (notes < 4) {
          note_addr[notes] = start;
          note_size[notes] = ph.p_memsz;
          ++notes;
        }
        break;
      default: break;
    }
  }
  image->text_size = text_end > header_address ? text_end - header_address : 0;
  for (uint32_t i = 0; i < notes && !image->has_uuid; ++i) readBuildId(image, note_addr[i], note_size[i]);
  if (image->dynamic_addr != 0) readDynamic(image, span_end);
  return TLCRASH_ESUCCESS;
}

// Crash time.
bool tlcrash_async_elf_contains_address(const tlcrash_async_elf* image, uint64_t address) {
  return address >= image->header_addr && address - image->header_addr < image->text_size;
}

// Crash time.
uint32_t tlcrash_async_elf_cpu_type(const tlcrash_async_elf* image) {
  switch (image->machine) {
    case EM_X86_64: return macho::kCpuTypeX86_64;
    case EM_386: return macho::kCpuTypeX86;
    case EM_AARCH64: return macho::kCpuTypeArm64;
    default: return 0;
  }
}

// Crash time.
uint32_t tlcrash_async_elf_cpu_subtype(const tlcrash_async_elf* image) {
  switch (image->machine) {
    case EM_X86_64:
    case EM_386: return 3;  // the "all" subtype of both
    default: return 0;
  }
}

}  // namespace ml::crash

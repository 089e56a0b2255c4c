// ELF images as outside data: the program-header parse (build-id notes, dynamic section, hash
// tables) over an image laid out in memory, the file symbol table located in the same bytes as a
// file, and the symbol search over both.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

#include "FuzzMemory.h"
#include "crashreporter/image/ElfImage.h"
#include "crashreporter/image/ElfSymbols.h"

using namespace ml::crash;

namespace {

void ignore(uint64_t, const char* name, void*) {
  volatile size_t n = 0;
  while (name[n] != '\0') n = n + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  fuzz::FuzzMemory memory(data, size);
  tlcrash_async_elf image;
  if (tlcrash_async_elf_init(&image, tlcrash_async_task_self(), "", memory.address()) != TLCRASH_ESUCCESS) return 0;
  tlcrash_async_elf_contains_address(&image, memory.address() + 0x1000);

  // The same bytes as the image's file.
  int fd = ::memfd_create("crashimage-elf", MFD_CLOEXEC);
  if (fd < 0) return 0;
  tlcrash_elf_file_symbols file;
  char path[64];
  std::snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
  if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
    tlcrash_nasync_elf_file_symbols_init(&file, path, &image);
  }
  image.name = path;
  for (uint64_t offset : {uint64_t{0x10}, uint64_t{0x1000}, uint64_t{0x1100}, uint64_t{0x4000}}) {
    tlcrash_async_elf_find_symbol_by_pc(&image, &file, memory.address() + offset, ignore, nullptr);
  }
  ::close(fd);
  return 0;
}

#include "ElfFixture.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <vector>
#include <link.h>
#include <stdexcept>

namespace ml::crash::test {

std::string ElfFixture::path() { return ML_CRASHIMAGE_ELF_FIXTURE; }

ElfFixture::ElfFixture() {
  handle_ = ::dlopen(path().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
  link_map* map = nullptr;
  if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) throw std::runtime_error("dlinfo failed");
  // A shared object's first loadable segment starts at link-time address 0.
  header_ = static_cast<uint64_t>(map->l_addr);
}

ElfFixture::~ElfFixture() { ::dlclose(handle_); }

uint64_t ElfFixture::function(const char* name) const {
  void* symbol = ::dlsym(handle_, name);
  if (symbol == nullptr) throw std::runtime_error(std::string("no symbol ") + name);
  return reinterpret_cast<uint64_t>(symbol);
}

uint64_t ElfFixture::fileSymbol(const char* name) const {
  std::ifstream in(path(), std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  for (unsigned i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr section;
    std::memcpy(&section, bytes.data() + header.e_shoff + i * header.e_shentsize, sizeof(section));
    if (section.sh_type != SHT_SYMTAB) continue;
    Elf64_Shdr strings;
    std::memcpy(&strings, bytes.data() + header.e_shoff + section.sh_link * header.e_shentsize, sizeof(strings));
    for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += section.sh_entsize) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, bytes.data() + section.sh_offset + at, sizeof(symbol));
      if (std::strcmp(bytes.data() + strings.sh_offset + symbol.st_name, name) == 0) return header_ + symbol.st_value;
    }
  }
  throw std::runtime_error(std::string("no file symbol ") + name);
}

}  // namespace ml::crash::test

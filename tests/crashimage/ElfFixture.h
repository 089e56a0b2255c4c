#pragma once
// The ELF fixture shared object (elf/crashimage_elf_fixture.c), opened for one test and closed
// after it, with the addresses the tests check against.
#include <cstdint>
#include <string>

namespace ml::crash::test {

class ElfFixture {
 public:
  ElfFixture();   // dlopen; throws std::runtime_error when it cannot
  ~ElfFixture();  // dlclose
  ElfFixture(const ElfFixture&) = delete;
  ElfFixture& operator=(const ElfFixture&) = delete;

  static std::string path();
  uint64_t header() const { return header_; }       // the ELF header of the loaded image
  uint64_t function(const char* name) const;        // dlsym
  // Run-time address of a symbol of the file's full symbol table (locals included).
  uint64_t fileSymbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  uint64_t header_ = 0;
};

}  // namespace ml::crash::test

#pragma once
// Loads a linker-built Mach-O fixture (tests/crashimage/fixtures/) into this process the way the
// platform's loader would: every segment at its vmaddr relative to a fresh base, file bytes copied,
// and the rebase opcodes applied so that pointers inside the image hold slid addresses. Binding is
// not done (the fixtures import nothing that the readers follow).
#include <cstdint>
#include <memory>
#include <string>

#include "MappedBytes.h"

namespace ml::crash::test {

class MachOFixture {
 public:
  // Loads fixtures/<file>; throws std::runtime_error when it cannot.
  explicit MachOFixture(const std::string& file);

  const std::string& path() const { return path_; }
  uint64_t header() const { return header_; }
  int64_t slide() const { return slide_; }
  // Run-time address of a link-time vmaddr.
  uint64_t at(uint64_t vmaddr) const { return vmaddr + static_cast<uint64_t>(slide_); }
  uint8_t* pointer(uint64_t vmaddr) const { return reinterpret_cast<uint8_t*>(at(vmaddr)); }

 private:
  std::string path_;
  std::unique_ptr<MappedBytes> memory_;
  uint64_t header_ = 0;
  int64_t slide_ = 0;
};

std::string fixturePath(const std::string& file);

}  // namespace ml::crash::test

#pragma once
// Test memory: bytes copied into a fresh page-aligned anonymous mapping, optionally followed by
// unreadable pages, so readers can be pointed at exact page boundaries.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ml::crash::test {

class MappedBytes {
 public:
  // Maps `bytes` (rounded up to whole pages, zero-filled) followed by `guard_pages` PROT_NONE pages.
  // `low` places the mapping below 2 GiB, where 32-bit pointers can reach it.
  explicit MappedBytes(const std::vector<uint8_t>& bytes, size_t guard_pages = 0, bool low = false);
  ~MappedBytes();
  MappedBytes(const MappedBytes&) = delete;
  MappedBytes& operator=(const MappedBytes&) = delete;

  uint8_t* data() const { return base_; }
  uint64_t address() const { return reinterpret_cast<uint64_t>(base_); }
  size_t readableSize() const { return readable_; }

 private:
  uint8_t* base_ = nullptr;
  size_t readable_ = 0;
  size_t total_ = 0;
};

size_t pageSize();

}  // namespace ml::crash::test

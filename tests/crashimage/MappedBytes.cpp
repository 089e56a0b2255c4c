#include "MappedBytes.h"

#include <cstring>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace ml::crash::test {

size_t pageSize() { return static_cast<size_t>(::getpagesize()); }

MappedBytes::MappedBytes(const std::vector<uint8_t>& bytes, size_t guard_pages, bool low) {
  const size_t page = pageSize();
  readable_ = bytes.empty() ? page : (bytes.size() + page - 1) / page * page;
  total_ = readable_ + guard_pages * page;
  void* p = ::mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | (low ? MAP_32BIT : 0), -1, 0);
  if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
  base_ = static_cast<uint8_t*>(p);
  if (!bytes.empty()) std::memcpy(base_, bytes.data(), bytes.size());
  if (guard_pages > 0) ::mprotect(base_ + readable_, guard_pages * page, PROT_NONE);
}

MappedBytes::~MappedBytes() { ::munmap(base_, total_); }

}  // namespace ml::crash::test

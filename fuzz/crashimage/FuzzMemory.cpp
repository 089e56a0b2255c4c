#include "FuzzMemory.h"

#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace ml::crash::fuzz {

FuzzMemory::FuzzMemory(const uint8_t* data, size_t size) : size_(size) {
  const size_t page = static_cast<size_t>(::getpagesize());
  const size_t readable = size == 0 ? page : (size + page - 1) / page * page;
  total_ = readable + page;
  void* p = ::mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) std::abort();
  base_ = static_cast<uint8_t*>(p);
  if (size > 0) std::memcpy(base_, data, size);
  ::mprotect(base_ + readable, page, PROT_NONE);
}

FuzzMemory::~FuzzMemory() { ::munmap(base_, total_); }

}  // namespace ml::crash::fuzz

#pragma once
// Fuzz input placed the way an image lies in memory: at the start of a fresh page-aligned mapping
// followed by an unreadable page, so a reader that runs past the input meets a real fault boundary.
#include <cstddef>
#include <cstdint>

namespace ml::crash::fuzz {

class FuzzMemory {
 public:
  FuzzMemory(const uint8_t* data, size_t size);
  ~FuzzMemory();
  FuzzMemory(const FuzzMemory&) = delete;
  FuzzMemory& operator=(const FuzzMemory&) = delete;
  uint64_t address() const { return reinterpret_cast<uint64_t>(base_); }
  size_t size() const { return size_; }

 private:
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
  size_t total_ = 0;
};

}  // namespace ml::crash::fuzz

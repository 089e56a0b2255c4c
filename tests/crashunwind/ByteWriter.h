#pragma once
// Little-endian byte sequences for hand-built unwind data: call frame sections, expressions,
// compact unwind sections.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ml::crash::test {

class ByteWriter {
 public:
  ByteWriter& u8(uint64_t v) { bytes_.push_back(static_cast<uint8_t>(v)); return *this; }
  ByteWriter& u16(uint64_t v) { return le(v, 2); }
  ByteWriter& u32(uint64_t v) { return le(v, 4); }
  ByteWriter& u64(uint64_t v) { return le(v, 8); }
  ByteWriter& uleb(uint64_t v) {
    do {
      uint8_t byte = v & 0x7F;
      v >>= 7;
      if (v != 0) byte |= 0x80;
      bytes_.push_back(byte);
    } while (v != 0);
    return *this;
  }
  ByteWriter& sleb(int64_t v) {
    for (;;) {
      uint8_t byte = v & 0x7F;
      v >>= 7;  // arithmetic shift
      bool done = (v == 0 && (byte & 0x40) == 0) || (v == -1 && (byte & 0x40) != 0);
      if (!done) byte |= 0x80;
      bytes_.push_back(byte);
      if (done) return *this;
    }
  }
  ByteWriter& str(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return *this;
  }
  ByteWriter& raw(const std::vector<uint8_t>& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  ByteWriter& zeros(size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
  }

  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  ByteWriter& le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> bytes_;
};

}  // namespace ml::crash::test

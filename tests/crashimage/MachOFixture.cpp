#include "MachOFixture.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace ml::crash::test {
namespace {

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, &b.at(at + 3) - 3, 4);
  return v;
}

uint64_t u64(const std::vector<uint8_t>& b, size_t at) {
  uint64_t v;
  std::memcpy(&v, &b.at(at + 7) - 7, 8);
  return v;
}

uint64_t uleb(const std::vector<uint8_t>& b, size_t& at) {
  uint64_t value = 0;
  unsigned shift = 0;
  uint8_t byte;
  do {
    byte = b.at(at++);
    value |= static_cast<uint64_t>(byte & 0x7F) << shift;
    shift += 7;
  } while (byte & 0x80);
  return value;
}

struct Segment {
  std::string name;
  uint64_t vmaddr, vmsize, fileoff, filesize;
};

}  // namespace

std::string fixturePath(const std::string& file) { return std::string(ML_CRASHIMAGE_FIXTURES) + "/" + file; }

MachOFixture::MachOFixture(const std::string& file) : path_(fixturePath(file)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path_);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (u32(bytes, 0) != 0xFEEDFACF) throw std::runtime_error("not a 64-bit Mach-O image: " + path_);

  const uint32_t ncmds = u32(bytes, 16);
  std::vector<Segment> segments;
  uint32_t rebase_off = 0, rebase_size = 0;
  size_t cursor = 32;
  for (uint32_t i = 0; i < ncmds; ++i) {
    const size_t at = cursor;
    const uint32_t cmd = u32(bytes, at);
    const uint32_t size = u32(bytes, at + 4);
    if (cmd == 0x19) {
      char name[17] = {};
      std::memcpy(name, &bytes.at(at + 8), 16);
      segments.push_back({name, u64(bytes, at + 24), u64(bytes, at + 32), u64(bytes, at + 40), u64(bytes, at + 48)});
    } else if (cmd == 0x22 || cmd == 0x80000022) {  // LC_DYLD_INFO(_ONLY)
      rebase_off = u32(bytes, at + 8);
      rebase_size = u32(bytes, at + 12);
    }
    cursor += size;
  }

  uint64_t low = UINT64_MAX, high = 0;
  for (const Segment& s : segments) {
    if (s.name == "__PAGEZERO") continue;
    low = std::min(low, s.vmaddr);
    high = std::max(high, s.vmaddr + s.vmsize);
  }
  std::vector<uint8_t> image(high - low);
  for (const Segment& s : segments) {
    if (s.name == "__PAGEZERO" || s.filesize == 0) continue;
    std::memcpy(image.data() + (s.vmaddr - low), bytes.data() + s.fileoff, s.filesize);
  }
  memory_ = std::make_unique<MappedBytes>(image);
  slide_ = static_cast<int64_t>(memory_->address() - low);
  for (const Segment& s : segments) {
    if (s.name == "__TEXT") header_ = at(s.vmaddr);
  }

  // Rebase opcodes: pointers in the image get the slide added.
  size_t p = rebase_off;
  const size_t end = rebase_off + rebase_size;
  uint64_t address = 0;
  auto rebase = [&](uint64_t vmaddr) {
    uint64_t value;
    std::memcpy(&value, pointer(vmaddr), 8);
    value += static_cast<uint64_t>(slide_);
    std::memcpy(pointer(vmaddr), &value, 8);
  };
  while (p < end) {
    const uint8_t byte = bytes.at(p++);
    const uint8_t op = byte & 0xF0, imm = byte & 0x0F;
    if (op == 0x00) break;
    switch (op) {
      case 0x10: break;  // set type: pointers only here
      case 0x20: address = segments.at(imm).vmaddr + uleb(bytes, p); break;
      case 0x30: address += uleb(bytes, p); break;
      case 0x40: address += imm * 8u; break;
      case 0x50: for (int i = 0; i < imm; ++i) { rebase(address); address += 8; } break;
      case 0x60: { uint64_t n = uleb(bytes, p); for (uint64_t i = 0; i < n; ++i) { rebase(address); address += 8; } break; }
      case 0x70: rebase(address); address += uleb(bytes, p) + 8; break;
      case 0x80: {
        uint64_t n = uleb(bytes, p), skip = uleb(bytes, p);
        for (uint64_t i = 0; i < n; ++i) { rebase(address); address += skip + 8; }
        break;
      }
      default: throw std::runtime_error("unknown rebase opcode in " + path_);
    }
  }
}

}  // namespace ml::crash::test

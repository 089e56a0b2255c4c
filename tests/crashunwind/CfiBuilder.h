#pragma once
// Builds call frame sections (.eh_frame or .debug_frame) entry by entry, 32-bit DWARF, for
// tests: CIEs and FDEs with chosen augmentation, encodings and instructions. The section is meant
// to be shown at `base` through a LocalMemoryWindow, so pc-relative values come out right.
#include <cstdint>
#include <string>
#include <vector>

#include "ByteWriter.h"

namespace ml::crash::test {

struct CieSpec {
  std::string augmentation = "zR";
  uint8_t version = 1;
  uint64_t code_alignment = 1;
  int64_t data_alignment = -8;
  uint64_t return_address_register = 16;
  uint8_t pointer_encoding = 0x04;  // DW_EH_PE_udata8: absolute 64-bit addresses
  uint8_t lsda_encoding = 0x00;
  uint8_t personality_encoding = 0x04;
  uint64_t personality = 0;
  std::vector<uint8_t> instructions;
};

struct FdeSpec {
  uint64_t pc_start = 0;
  uint64_t pc_range = 0;
  std::vector<uint8_t> augmentation_data;  // written only when the CIE has 'z'
  std::vector<uint8_t> instructions;
};

class CfiBuilder {
 public:
  CfiBuilder(uint64_t base, bool debug_frame = false) : base_(base), debug_frame_(debug_frame) {}

  // Appends a CIE; returns its offset in the section.
  size_t cie(const CieSpec& spec) {
    size_t start = out_.size();
    out_.u32(0);  // length, patched
    out_.u32(debug_frame_ ? 0xFFFFFFFF : 0);
    out_.u8(spec.version).str(spec.augmentation);
    if (spec.version == 4) out_.u8(8).u8(0);
    out_.uleb(spec.code_alignment).sleb(spec.data_alignment).uleb(spec.return_address_register);
    if (!spec.augmentation.empty() && spec.augmentation[0] == 'z') {
      ByteWriter data;
      for (char c : spec.augmentation.substr(1)) {
        if (c == 'R') data.u8(spec.pointer_encoding);
        if (c == 'L') data.u8(spec.lsda_encoding);
        if (c == 'P') data.u8(spec.personality_encoding).u64(spec.personality);
      }
      out_.uleb(data.size()).raw(data.bytes());
    }
    out_.raw(spec.instructions);
    pad(start);
    cies_.push_back({start, spec});
    return start;
  }

  // Appends an FDE of the CIE at `cie_offset`; returns its offset.
  size_t fde(size_t cie_offset, const FdeSpec& spec) {
    const CieSpec* cie = nullptr;
    for (auto& entry : cies_) {
      if (entry.offset == cie_offset) cie = &entry.spec;
    }
    size_t start = out_.size();
    out_.u32(0);
    size_t pointer_at = out_.size();
    out_.u32(debug_frame_ ? cie_offset : pointer_at - cie_offset);
    uint8_t encoding = cie != nullptr && cie->augmentation.find('R') != std::string::npos ? cie->pointer_encoding : 0x00;
    writeAddress(encoding, spec.pc_start, /*apply_base=*/true);
    writeAddress(encoding & 0x0F, spec.pc_range, false);
    if (cie != nullptr && !cie->augmentation.empty() && cie->augmentation[0] == 'z') {
      out_.uleb(spec.augmentation_data.size()).raw(spec.augmentation_data);
    }
    out_.raw(spec.instructions);
    pad(start);
    return start;
  }

  // A zero length: the end marker of .eh_frame.
  void terminator() { out_.u32(0); }
  ByteWriter& writer() { return out_; }
  const std::vector<uint8_t>& bytes() const { return out_.bytes(); }
  uint64_t base() const { return base_; }

 private:
  struct CieEntry {
    size_t offset;
    CieSpec spec;
  };

  void writeAddress(uint8_t encoding, uint64_t value, bool apply_base) {
    uint64_t v = value;
    if (apply_base && (encoding & 0x70) == 0x10) v = value - (base_ + out_.size());
    switch (encoding & 0x0F) {
      case 0x00: case 0x04: case 0x0C: out_.u64(v); break;
      case 0x02: case 0x0A: out_.u16(v); break;
      case 0x03: case 0x0B: out_.u32(v); break;
      case 0x01: out_.uleb(v); break;
      case 0x09: out_.sleb(static_cast<int64_t>(v)); break;
    }
  }

  // Pads the entry to a multiple of 4 with DW_CFA_nop and patches its length.
  void pad(size_t start) {
    while ((out_.size() - start) % 4 != 0) out_.u8(0);
    out_.patch32(start, static_cast<uint32_t>(out_.size() - start - 4));
  }

  uint64_t base_;
  bool debug_frame_;
  ByteWriter out_;
  std::vector<CieEntry> cies_;
};

}  // namespace ml::crash::test

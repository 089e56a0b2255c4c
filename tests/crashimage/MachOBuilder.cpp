#include "MachOBuilder.h"

#include <cstring>

namespace ml::crash::test {

MachOBuilder::MachOBuilder(bool m64, bool swapped) : m64_(m64), swapped_(swapped) {}

MachOBuilder& MachOBuilder::magic(uint32_t value) { magic_ = value; return *this; }
MachOBuilder& MachOBuilder::cpu(uint32_t type, uint32_t subtype) { cputype_ = type; cpusubtype_ = subtype; return *this; }
MachOBuilder& MachOBuilder::withoutText() { text_ = false; return *this; }
MachOBuilder& MachOBuilder::textSize(uint64_t size) { text_size_ = size; return *this; }
MachOBuilder& MachOBuilder::sizeofcmds(uint32_t value) { sizeofcmds_ = value; return *this; }

void MachOBuilder::put32(std::vector<uint8_t>& out, uint32_t v) const {
  if (swapped_) v = __builtin_bswap32(v);
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out.insert(out.end(), b, b + 4);
}

void MachOBuilder::put64(std::vector<uint8_t>& out, uint64_t v) const {
  if (swapped_) v = __builtin_bswap64(v);
  uint8_t b[8];
  std::memcpy(b, &v, 8);
  out.insert(out.end(), b, b + 8);
}

void MachOBuilder::putAddress(std::vector<uint8_t>& out, uint64_t v) const {
  if (m64_) put64(out, v);
  else put32(out, static_cast<uint32_t>(v));
}

void MachOBuilder::putName(std::vector<uint8_t>& out, const std::string& name) {
  uint8_t field[16] = {};
  std::memcpy(field, name.data(), name.size() < 16 ? name.size() : 16);
  out.insert(out.end(), field, field + 16);
}

std::vector<uint8_t> MachOBuilder::segmentCommand(const std::string& name, uint64_t vmaddr, uint64_t vmsize,
                                                  uint64_t fileoff, uint64_t filesize,
                                                  const std::vector<BuilderSection>& sections) const {
  std::vector<uint8_t> body;  // after cmd and cmdsize
  putName(body, name);
  putAddress(body, vmaddr);
  putAddress(body, vmsize);
  putAddress(body, fileoff);
  putAddress(body, filesize);
  put32(body, 7);  // maxprot
  put32(body, 5);  // initprot
  put32(body, static_cast<uint32_t>(sections.size()));
  put32(body, 0);  // flags
  for (const BuilderSection& s : sections) {
    putName(body, s.name);
    putName(body, name);
    putAddress(body, s.addr);
    putAddress(body, s.size);
    for (int i = 0; i < 7; ++i) put32(body, 0);  // offset .. reserved2
    if (m64_) put32(body, 0);                    // reserved3
  }
  return body;
}

MachOBuilder& MachOBuilder::segment(const std::string& name, uint64_t vmaddr, uint64_t vmsize, uint64_t fileoff,
                                    uint64_t filesize, std::vector<BuilderSection> sections) {
  commands_.push_back({m64_ ? 0x19u : 0x1u, segmentCommand(name, vmaddr, vmsize, fileoff, filesize, sections), {}});
  return *this;
}

MachOBuilder& MachOBuilder::command(uint32_t cmd, std::vector<uint8_t> body, std::optional<uint32_t> cmdsize) {
  commands_.push_back({cmd, std::move(body), cmdsize});
  return *this;
}

MachOBuilder& MachOBuilder::uuid(const uint8_t bytes[16]) {
  return command(0x1B, std::vector<uint8_t>(bytes, bytes + 16));
}

MachOBuilder& MachOBuilder::symbols(std::vector<BuilderSymbol> symbols, std::optional<BuilderDysymtab> dysymtab,
                                    uint64_t linkedit) {
  std::vector<uint8_t> strings{' ', '\0'};  // index 0 stays the empty name
  std::vector<uint8_t> table;
  for (const BuilderSymbol& s : symbols) {
    put32(table, static_cast<uint32_t>(strings.size()));
    strings.insert(strings.end(), s.name.begin(), s.name.end());
    strings.push_back('\0');
    table.push_back(s.type);
    table.push_back(s.sect);
    uint16_t desc = swapped_ ? __builtin_bswap16(s.desc) : s.desc;
    uint8_t d[2];
    std::memcpy(d, &desc, 2);
    table.insert(table.end(), d, d + 2);
    putAddress(table, s.value);
  }
  const uint64_t symoff = linkedit;
  const uint64_t stroff = linkedit + table.size();
  std::vector<uint8_t> blob = table;
  blob.insert(blob.end(), strings.begin(), strings.end());
  const uint64_t size = blob.size();
  blobs_.push_back({linkedit, std::move(blob)});
  segment("__LINKEDIT", linkedit, size, linkedit, size);

  std::vector<uint8_t> body;
  put32(body, static_cast<uint32_t>(symoff));
  put32(body, static_cast<uint32_t>(symbols.size()));
  put32(body, static_cast<uint32_t>(stroff));
  put32(body, static_cast<uint32_t>(strings.size()));
  command(0x2, body);
  if (dysymtab) {
    std::vector<uint8_t> d;
    put32(d, dysymtab->ilocalsym);
    put32(d, dysymtab->nlocalsym);
    put32(d, dysymtab->iextdefsym);
    put32(d, dysymtab->nextdefsym);
    for (int i = 0; i < 14; ++i) put32(d, 0);
    command(0xB, d);
  }
  return *this;
}

std::vector<uint8_t> MachOBuilder::build() const {
  std::vector<Command> all;
  if (text_) all.push_back({m64_ ? 0x19u : 0x1u, segmentCommand("__TEXT", 0, text_size_, 0, text_size_, {}), {}});
  all.insert(all.end(), commands_.begin(), commands_.end());

  std::vector<uint8_t> cmds;
  for (const Command& c : all) {
    put32(cmds, c.cmd);
    put32(cmds, c.cmdsize.value_or(static_cast<uint32_t>(c.body.size() + 8)));
    cmds.insert(cmds.end(), c.body.begin(), c.body.end());
  }

  std::vector<uint8_t> out;
  if (magic_) {
    uint8_t b[4];
    std::memcpy(b, &*magic_, 4);
    out.insert(out.end(), b, b + 4);
  } else {
    put32(out, m64_ ? 0xFEEDFACFu : 0xFEEDFACEu);
  }
  put32(out, cputype_);
  put32(out, cpusubtype_);
  put32(out, 6);  // MH_DYLIB
  put32(out, static_cast<uint32_t>(all.size()));
  put32(out, sizeofcmds_.value_or(static_cast<uint32_t>(cmds.size())));
  put32(out, 0);
  if (m64_) put32(out, 0);
  out.insert(out.end(), cmds.begin(), cmds.end());

  for (const auto& [at, bytes] : blobs_) {
    if (out.size() < at + bytes.size()) out.resize(at + bytes.size());
    std::memcpy(out.data() + at, bytes.data(), bytes.size());
  }
  if (out.size() < text_size_) out.resize(text_size_);
  return out;
}

}  // namespace ml::crash::test

#pragma once
// Builds synthetic Mach-O images as they lie in memory (__TEXT at vmaddr 0 holds the header and
// the load commands; every offset is a vmaddr), in either width and either byte order, for the
// cases the linker-built fixtures cannot show: 32-bit and byte-swapped images, damaged commands,
// hand-made symbol tables.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ml::crash::test {

struct BuilderSection {
  std::string name;
  uint64_t addr = 0;
  uint64_t size = 0;
};

struct BuilderSymbol {
  std::string name;
  uint8_t type = 0x0F;   // N_SECT | N_EXT
  uint8_t sect = 1;
  uint16_t desc = 0;
  uint64_t value = 0;
};

struct BuilderDysymtab {
  uint32_t ilocalsym = 0, nlocalsym = 0, iextdefsym = 0, nextdefsym = 0;
};

class MachOBuilder {
 public:
  explicit MachOBuilder(bool m64 = true, bool swapped = false);

  MachOBuilder& magic(uint32_t value);   // replaces the magic written (host value, written as is)
  MachOBuilder& cpu(uint32_t type, uint32_t subtype);
  // The __TEXT segment is added by default (vmaddr 0, size textSize); this removes it.
  MachOBuilder& withoutText();
  MachOBuilder& textSize(uint64_t size);
  MachOBuilder& segment(const std::string& name, uint64_t vmaddr, uint64_t vmsize, uint64_t fileoff,
                        uint64_t filesize, std::vector<BuilderSection> sections = {});
  // A raw command: cmd, cmdsize (the real size unless given), body.
  MachOBuilder& command(uint32_t cmd, std::vector<uint8_t> body, std::optional<uint32_t> cmdsize = {});
  MachOBuilder& uuid(const uint8_t bytes[16]);
  // LC_SYMTAB (+ LC_DYSYMTAB) with the table and strings in a __LINKEDIT segment at `linkedit`.
  MachOBuilder& symbols(std::vector<BuilderSymbol> symbols, std::optional<BuilderDysymtab> dysymtab = {},
                        uint64_t linkedit = 0x2000);
  // Overrides the written sizeofcmds.
  MachOBuilder& sizeofcmds(uint32_t value);

  std::vector<uint8_t> build() const;

 private:
  struct Command {
    uint32_t cmd;
    std::vector<uint8_t> body;
    std::optional<uint32_t> cmdsize;
  };
  void put32(std::vector<uint8_t>& out, uint32_t v) const;
  void put64(std::vector<uint8_t>& out, uint64_t v) const;
  void putAddress(std::vector<uint8_t>& out, uint64_t v) const;
  static void putName(std::vector<uint8_t>& out, const std::string& name);
  std::vector<uint8_t> segmentCommand(const std::string& name, uint64_t vmaddr, uint64_t vmsize, uint64_t fileoff,
                                      uint64_t filesize, const std::vector<BuilderSection>& sections) const;

  bool m64_;
  bool swapped_;
  std::optional<uint32_t> magic_;
  uint32_t cputype_ = 0x01000007;
  uint32_t cpusubtype_ = 3;
  bool text_ = true;
  uint64_t text_size_ = 0x1000;
  std::optional<uint32_t> sizeofcmds_;
  std::vector<Command> commands_;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> blobs_;  // bytes placed at a vmaddr
};

}  // namespace ml::crash::test

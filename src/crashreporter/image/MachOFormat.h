#pragma once
// Constants and on-disk layouts of the Mach-O object format that the image readers use. Every
// structure is read field by field from a memory object through the image's byte order; the
// offsets here are the format's.
#include <cstdint>

namespace ml::crash::macho {

inline constexpr uint32_t kMagic32 = 0xFEEDFACE;
inline constexpr uint32_t kMagic64 = 0xFEEDFACF;
inline constexpr uint32_t kCigam32 = 0xCEFAEDFE;
inline constexpr uint32_t kCigam64 = 0xCFFAEDFE;
inline constexpr uint32_t kFatMagic = 0xCAFEBABE;
inline constexpr uint32_t kFatCigam = 0xBEBAFECA;

inline constexpr uint64_t kHeaderSize32 = 28;
inline constexpr uint64_t kHeaderSize64 = 32;

// Header field offsets.
inline constexpr uint64_t kHeaderCpuType = 4;
inline constexpr uint64_t kHeaderCpuSubtype = 8;
inline constexpr uint64_t kHeaderNcmds = 16;
inline constexpr uint64_t kHeaderSizeofcmds = 20;

// Load commands: cmd (u32), cmdsize (u32), then the body.
inline constexpr uint64_t kLoadCommandSize = 8;
inline constexpr uint32_t kLcSegment = 0x1;
inline constexpr uint32_t kLcSymtab = 0x2;
inline constexpr uint32_t kLcDysymtab = 0xB;
inline constexpr uint32_t kLcSegment64 = 0x19;
inline constexpr uint32_t kLcUuid = 0x1B;

// segment_command (56 bytes) and segment_command_64 (72 bytes): segname[16] at 8, then
// vmaddr, vmsize, fileoff, filesize (u32 or u64 each), maxprot, initprot, nsects, flags (u32).
inline constexpr uint64_t kSegmentCommandSize32 = 56;
inline constexpr uint64_t kSegmentCommandSize64 = 72;
inline constexpr uint64_t kSegmentName = 8;
inline constexpr uint64_t kNameLength = 16;
inline constexpr uint64_t kSegmentVmaddr = 24;
inline constexpr uint64_t kSegmentNsects32 = 48;
inline constexpr uint64_t kSegmentNsects64 = 64;

// section (68 bytes) and section_64 (80 bytes): sectname[16], segname[16], addr, size (u32 or
// u64 each), then offset, align, reloff, nreloc, flags, reserved fields.
inline constexpr uint64_t kSectionSize32 = 68;
inline constexpr uint64_t kSectionSize64 = 80;
inline constexpr uint64_t kSectionAddr = 32;

// symtab_command: symoff, nsyms, stroff, strsize (u32 each) after the command head.
inline constexpr uint64_t kSymtabCommandSize = 24;
// dysymtab_command: ilocalsym, nlocalsym, iextdefsym, nextdefsym, ... (u32 each).
inline constexpr uint64_t kDysymtabCommandMinSize = 24;

// nlist (12 bytes) and nlist_64 (16 bytes): n_strx (u32), n_type (u8), n_sect (u8), n_desc (u16),
// n_value (u32 or u64).
inline constexpr uint64_t kNlistSize32 = 12;
inline constexpr uint64_t kNlistSize64 = 16;
inline constexpr uint8_t kNTypeMask = 0x0E;
inline constexpr uint8_t kNSect = 0x0E;
inline constexpr uint8_t kNStab = 0xE0;
inline constexpr uint16_t kNArmThumbDef = 0x0008;

// CPU types (the numbering the crash report carries).
inline constexpr uint32_t kCpuTypeX86 = 7;
inline constexpr uint32_t kCpuTypeX86_64 = 0x01000007;
inline constexpr uint32_t kCpuTypeArm64 = 0x0100000C;

}  // namespace ml::crash::macho

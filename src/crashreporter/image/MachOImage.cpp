#include "crashreporter/image/MachOImage.h"

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/image/MachOFormat.h"

namespace ml::crash {
namespace {

using namespace macho;

// Crash time.
uint64_t localOf(const void* pointer) { return reinterpret_cast<uint64_t>(pointer); }

// Crash time.
bool inCommands(const tlcrash_async_macho* image, const void* pointer, int64_t offset, uint64_t length) {
  return tlcrash_async_mobject_verify_local_pointer(&image->load_cmds, localOf(pointer), offset, length);
}

// Reads a field of a checked local structure (unaligned load) through the image's byte order.
// Crash time.
uint32_t field32(const tlcrash_async_macho* image, const void* base, uint64_t offset) {
  uint32_t value;
  tlcrash_async_memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof(value));
  return image->byteorder->swap32(value);
}

// Crash time.
uint64_t field64(const tlcrash_async_macho* image, const void* base, uint64_t offset) {
  uint64_t value;
  tlcrash_async_memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof(value));
  return image->byteorder->swap64(value);
}

// A segment or section address field: u64 in a 64-bit image, u32 in a 32-bit one.
// Crash time.
uint64_t addressField(const tlcrash_async_macho* image, const void* base, uint64_t index_in_words) {
  if (image->m64) return field64(image, base, index_in_words * 8);
  return field32(image, base, index_in_words * 4);
}

// Crash time.
bool nameEquals(const void* field, const char* name) {
  return tlcrash_async_strncmp(static_cast<const char*>(field), name, kNameLength) == 0;
}

struct SegmentFields {
  uint64_t vmaddr, vmsize, fileoff, filesize;
  uint32_t nsects;
};

// Crash time.
SegmentFields readSegment(const tlcrash_async_macho* image, const void* cmd) {
  const auto* body = static_cast<const uint8_t*>(cmd) + kSegmentVmaddr;
  SegmentFields s{};
  s.vmaddr = addressField(image, body, 0);
  s.vmsize = addressField(image, body, 1);
  s.fileoff = addressField(image, body, 2);
  s.filesize = addressField(image, body, 3);
  s.nsects = field32(image, cmd, image->m64 ? kSegmentNsects64 : kSegmentNsects32);
  return s;
}

// Crash time.
void releaseParse(tlcrash_async_macho* image) { tlcrash_async_mobject_free(&image->load_cmds); }

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_async_macho_parse(tlcrash_async_macho* image) {
  const tlcrash_task_t task = image->task;
  const uint64_t header_address = image->header_addr;
  int kr = tlcrash_async_read_addr(task, header_address, image->header, kHeaderSize32);
  if (kr != 0) {
    TLCRASH_DIAG("Failed to read Mach-O header from 0x%llx for image %s, kern_error=%d",
                 static_cast<unsigned long long>(header_address), image->name.c_str(), kr);
    releaseParse(image);
    return TLCRASH_EINTERNAL;
  }

  switch (image->header[0]) {
    case kMagic32: image->m64 = false; image->byteorder = &tlcrash_async_byteorder_direct; break;
    case kMagic64: image->m64 = true; image->byteorder = &tlcrash_async_byteorder_direct; break;
    case kCigam32: image->m64 = false; image->byteorder = &tlcrash_async_byteorder_swapped; break;
    case kCigam64: image->m64 = true; image->byteorder = &tlcrash_async_byteorder_swapped; break;
    case kFatMagic:
    case kFatCigam:
      TLCRASH_DIAG("%s called with an unsupported universal Mach-O archive in: %s", __func__, image->name.c_str());
      releaseParse(image);
      return TLCRASH_EINVAL;
    default:
      TLCRASH_DIAG("Unknown Mach-O magic: 0x%x in: %s", image->header[0], image->name.c_str());
      releaseParse(image);
      return TLCRASH_EINVAL;
  }

  image->header_size = image->m64 ? kHeaderSize64 : kHeaderSize32;
  image->ncmds = image->byteorder->swap32(image->header[4]);
  const uint32_t sizeofcmds = image->byteorder->swap32(image->header[5]);

  uint64_t commands_address;
  if (!tlcrash_async_address_apply_offset(header_address, static_cast<int64_t>(image->header_size), &commands_address)) {
    releaseParse(image);
    return TLCRASH_EINVAL;
  }
  tlcrash_error_t err = tlcrash_async_mobject_init(&image->load_cmds, task, commands_address, sizeofcmds, true);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to map Mach-O load commands in image %s", image->name.c_str());
    releaseParse(image);
    return err;
  }

  const uint32_t segment_cmd = image->m64 ? kLcSegment64 : kLcSegment;
  const uint64_t segment_size = image->m64 ? kSegmentCommandSize64 : kSegmentCommandSize32;
  bool found = false;
  for (const void* cmd = tlcrash_async_macho_next_command_type(image, nullptr, segment_cmd); cmd != nullptr;
       cmd = tlcrash_async_macho_next_command_type(image, cmd, segment_cmd)) {
    if (!inCommands(image, cmd, 0, segment_size)) {
      TLCRASH_DIAG("LC_SEGMENT command was too short");
      releaseParse(image);
      return TLCRASH_EINVAL;
    }
    if (nameEquals(static_cast<const uint8_t*>(cmd) + kSegmentName, "__TEXT")) {
      SegmentFields text = readSegment(image, cmd);
      image->text_vmaddr = text.vmaddr;
      image->text_size = text.vmsize;
      found = true;
      break;
    }
  }
  if (!found) {
    TLCRASH_DIAG("Could not find __TEXT segment!");
    releaseParse(image);
    return TLCRASH_EINVAL;
  }

  image->vmaddr_slide = static_cast<int64_t>(header_address - image->text_vmaddr);
  return TLCRASH_ESUCCESS;
}


// Crash time.
const tlcrash_async_byteorder_t* tlcrash_async_macho_byteorder(const tlcrash_async_macho* image) { return image->byteorder; }
// Crash time.
const uint32_t* tlcrash_async_macho_header(const tlcrash_async_macho* image) { return image->header; }
// Crash time.
uint64_t tlcrash_async_macho_header_size(const tlcrash_async_macho* image) { return image->header_size; }
// Crash time.
uint32_t tlcrash_async_macho_cpu_type(const tlcrash_async_macho* image) { return image->byteorder->swap32(image->header[1]); }
// Crash time.
uint32_t tlcrash_async_macho_cpu_subtype(const tlcrash_async_macho* image) { return image->byteorder->swap32(image->header[2]); }

// Crash time.
bool tlcrash_async_macho_contains_address(const tlcrash_async_macho* image, uint64_t address) {
  // Written as a difference so that a __TEXT reaching the top of the address space cannot wrap.
  return address >= image->header_addr && address - image->header_addr < image->text_size;
}

// Crash time.
uint32_t tlcrash_async_macho_command_type(const tlcrash_async_macho* image, const void* command) {
  return field32(image, command, 0);
}

// Crash time.
uint32_t tlcrash_async_macho_command_size(const tlcrash_async_macho* image, const void* command) {
  return field32(image, command, 4);
}

// Crash time.
bool tlcrash_async_macho_command_body(const tlcrash_async_macho* image, const void* command, uint64_t size) {
  if (!inCommands(image, command, 0, kLoadCommandSize)) return false;
  if (tlcrash_async_macho_command_size(image, command) < size) return false;
  return inCommands(image, command, 0, size);
}

// Crash time.
const void* tlcrash_async_macho_next_command(const tlcrash_async_macho* image, const void* previous) {
  if (previous == nullptr) {
    if (image->byteorder->swap32(image->header[5]) < kLoadCommandSize) {
      TLCRASH_DIAG("Mach-O sizeofcmds is less than sizeof(struct load_command) in %s", image->name.c_str());
      return nullptr;
    }
    const void* first = reinterpret_cast<const void*>(static_cast<uintptr_t>(image->load_cmds.address));
    if (!inCommands(image, first, 0, kLoadCommandSize)) {
      TLCRASH_DIAG("Failed to map LC_CMD at address %p in: %s", first, image->name.c_str());
      return nullptr;
    }
    return first;
  }

  if (!inCommands(image, previous, 0, kLoadCommandSize)) {
    TLCRASH_DIAG("Failed to map LC_CMD at address %p in: %s", previous, image->name.c_str());
    return nullptr;
  }
  const uint32_t cmdsize = tlcrash_async_macho_command_size(image, previous);
  if (cmdsize < kLoadCommandSize) {
    TLCRASH_DIAG("Found invalid 0-length cmdsize in LC_CMD at address %p in: %s (terminating further iteration)",
                 previous, image->name.c_str());
    return nullptr;
  }
  uint64_t next;
  if (!tlcrash_async_address_apply_offset(localOf(previous), cmdsize, &next)) {
    TLCRASH_DIAG("Found invalid cmdsize in LC_CMD at address %p in: %s", previous, image->name.c_str());
    return nullptr;
  }
  if (next >= image->load_cmds.address + image->load_cmds.length) return nullptr;

  const void* command = reinterpret_cast<const void*>(static_cast<uintptr_t>(next));
  if (!inCommands(image, command, 0, kLoadCommandSize) ||
      !inCommands(image, command, 0, tlcrash_async_macho_command_size(image, command))) {
    TLCRASH_DIAG("Failed to map LC_CMD at address %p in: %s", command, image->name.c_str());
    return nullptr;
  }
  return command;
}

// Crash time.
const void* tlcrash_async_macho_next_command_type(const tlcrash_async_macho* image, const void* previous, uint32_t cmd) {
  for (const void* c = tlcrash_async_macho_next_command(image, previous); c != nullptr;
       c = tlcrash_async_macho_next_command(image, c)) {
    if (tlcrash_async_macho_command_type(image, c) == cmd) return c;
  }
  return nullptr;
}

// Crash time.
const void* tlcrash_async_macho_find_command(const tlcrash_async_macho* image, uint32_t cmd) {
  for (const void* c = tlcrash_async_macho_next_command(image, nullptr); c != nullptr;
       c = tlcrash_async_macho_next_command(image, c)) {
    if (!inCommands(image, c, 0, kLoadCommandSize)) {
      TLCRASH_DIAG("Failed to map LC_CMD at address %p in: %s", c, image->name.c_str());
      return nullptr;
    }
    if (tlcrash_async_macho_command_type(image, c) == cmd) return c;
  }
  return nullptr;
}

// Crash time.
const void* tlcrash_async_macho_find_segment_cmd(const tlcrash_async_macho* image, const char* segname) {
  const uint32_t segment_cmd = image->m64 ? kLcSegment64 : kLcSegment;
  const uint64_t segment_size = image->m64 ? kSegmentCommandSize64 : kSegmentCommandSize32;
  for (const void* cmd = tlcrash_async_macho_next_command_type(image, nullptr, segment_cmd); cmd != nullptr;
       cmd = tlcrash_async_macho_next_command_type(image, cmd, segment_cmd)) {
    // A segment command too short for its fields is passed over rather than read past its end.
    if (!tlcrash_async_macho_command_body(image, cmd, segment_size)) continue;
    if (nameEquals(static_cast<const uint8_t*>(cmd) + kSegmentName, segname)) return cmd;
  }
  return nullptr;
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_map_segment(const tlcrash_async_macho* image, const char* segname,
                                                tlcrash_async_macho_mapped_segment_t* segment) {
  *segment = tlcrash_async_macho_mapped_segment_t{};
  const void* cmd = tlcrash_async_macho_find_segment_cmd(image, segname);
  if (cmd == nullptr) return TLCRASH_ENOTFOUND;
  SegmentFields s = readSegment(image, cmd);
  uint64_t address;
  if (!tlcrash_async_address_apply_offset(s.vmaddr, image->vmaddr_slide, &address)) return TLCRASH_EINVAL;
  segment->fileoff = s.fileoff;
  segment->filesize = s.filesize;
  return tlcrash_async_mobject_init(&segment->mobj, image->task, address, s.vmsize, false);
}

// Crash time.
void tlcrash_async_macho_mapped_segment_free(tlcrash_async_macho_mapped_segment_t* segment) {
  tlcrash_async_mobject_free(&segment->mobj);
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_find_section(const tlcrash_async_macho* image, const char* segname,
                                                 const char* sectname, uint64_t* address, uint64_t* size) {
  const void* cmd = tlcrash_async_macho_find_segment_cmd(image, segname);
  if (cmd == nullptr) return TLCRASH_ENOTFOUND;
  SegmentFields s = readSegment(image, cmd);
  if (s.nsects == 0) return TLCRASH_ENOTFOUND;

  const uint64_t segment_size = image->m64 ? kSegmentCommandSize64 : kSegmentCommandSize32;
  const uint64_t section_size = image->m64 ? kSectionSize64 : kSectionSize32;
  for (uint32_t i = 0; i < s.nsects; ++i) {
    const uint64_t offset = segment_size + static_cast<uint64_t>(i) * section_size;
    if (!inCommands(image, cmd, static_cast<int64_t>(offset), section_size)) {
      TLCRASH_DIAG("Section table entry outside of expected range; searching for (%s,%s)", segname, sectname);
      return TLCRASH_EINVAL;
    }
    const auto* section = static_cast<const uint8_t*>(cmd) + offset;
    if (!nameEquals(section, sectname)) continue;

    const uint64_t addr = addressField(image, section + kSectionAddr, 0);
    if (!tlcrash_async_address_apply_offset(addr, image->vmaddr_slide, address)) return TLCRASH_EINVAL;
    *size = addressField(image, section + kSectionAddr, 1);
    return TLCRASH_ESUCCESS;
  }
  return TLCRASH_ENOTFOUND;
}

// Crash time.
tlcrash_error_t tlcrash_async_macho_map_section(const tlcrash_async_macho* image, const char* segname,
                                                const char* sectname, tlcrash_async_mobject* mobj) {
  *mobj = tlcrash_async_mobject{};
  uint64_t address = 0, size = 0;
  tlcrash_error_t err = tlcrash_async_macho_find_section(image, segname, sectname, &address, &size);
  if (err != TLCRASH_ESUCCESS) return err;
  return tlcrash_async_mobject_init(mobj, image->task, address, size, true);
}

// Crash time.
bool tlcrash_async_macho_uuid(const tlcrash_async_macho* image, uint8_t uuid[16]) {
  const void* cmd = tlcrash_async_macho_find_command(image, kLcUuid);
  if (cmd == nullptr || !tlcrash_async_macho_command_body(image, cmd, kLoadCommandSize + 16)) return false;
  tlcrash_async_memcpy(uuid, static_cast<const uint8_t*>(cmd) + kLoadCommandSize, 16);
  return true;
}

}  // namespace ml::crash

#pragma once
// The Mach-O image reader: header, load commands, segments and sections of one image in a task's
// memory. The load commands are mapped once, at parsing, into a memory object; every command the
// reader hands out is a local pointer that was checked to lie inside that mapping, and segment
// and section contents are mapped on demand into memory objects of their own.
//
// Parsing (tlcrash_nasync_) allocates (the copy of the name) and runs in normal context only.
// Every tlcrash_async_ function is async-signal-safe: no allocation, no locks; reads go through
// memory objects; failures come back as a status or null with a diagnostic line.
#include <cstdint>
#include <string>

#include "crashreporter/AsyncByteOrder.h"
#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/image/MemoryObject.h"

namespace ml::crash {

struct tlcrash_async_macho {
  tlcrash_task_t task = 0;
  uint64_t header_addr = 0;   // address of the Mach-O header in the task
  int64_t vmaddr_slide = 0;   // header_addr - __TEXT vmaddr (negative when vmaddr lies above)
  std::string name;           // copy of the path given at parsing
  // The header as read, in the image's byte order: magic, cputype, cpusubtype, filetype, ncmds,
  // sizeofcmds, flags, then a reserved word that is never read.
  uint32_t header[8] = {};
  uint64_t header_size = 0;   // 28 (32-bit image) or 32 (64-bit image)
  uint32_t ncmds = 0;         // host order
  tlcrash_async_mobject load_cmds;  // the sizeofcmds bytes after the header
  uint64_t text_vmaddr = 0;
  uint64_t text_size = 0;
  bool m64 = false;
  const tlcrash_async_byteorder_t* byteorder = nullptr;
};

// A segment mapped into a memory object, with its file offset and size (host order).
struct tlcrash_async_macho_mapped_segment_t {
  tlcrash_async_mobject mobj;
  uint64_t fileoff = 0;
  uint64_t filesize = 0;
};

// Parses the image whose header lies at `header_address` of `task`. 0; TLCRASH_EINTERNAL when the
// header cannot be read; TLCRASH_EINVAL for a universal archive, an unknown magic, a short segment
// command or a missing __TEXT segment; the mapping's status when the load commands cannot be
// mapped whole. On failure nothing stays allocated. Normal context only.
tlcrash_error_t tlcrash_nasync_macho_init(tlcrash_async_macho* image, tlcrash_task_t task, const char* name,
                                          uint64_t header_address);
// The part of tlcrash_nasync_macho_init that allocates nothing: parses the header at the image's
// header_addr of its task (both set, and its name, which only the diagnostics read). Same results;
// on failure the load-command mapping is released. Crash time.
tlcrash_error_t tlcrash_async_macho_parse(tlcrash_async_macho* image);
// Releases the name and the load-command mapping. Normal context only.
void tlcrash_nasync_macho_free(tlcrash_async_macho* image);

const tlcrash_async_byteorder_t* tlcrash_async_macho_byteorder(const tlcrash_async_macho* image);
const uint32_t* tlcrash_async_macho_header(const tlcrash_async_macho* image);
uint64_t tlcrash_async_macho_header_size(const tlcrash_async_macho* image);
uint32_t tlcrash_async_macho_cpu_type(const tlcrash_async_macho* image);
uint32_t tlcrash_async_macho_cpu_subtype(const tlcrash_async_macho* image);

// header_addr <= address < header_addr + __TEXT size.
bool tlcrash_async_macho_contains_address(const tlcrash_async_macho* image, uint64_t address);

// Load-command iteration, by cmdsize up to the end of the mapped sizeofcmds bytes (ncmds is not
// consulted). A returned command always has its 8-byte head inside the mapping; callers check its
// cmdsize against the body they read (tlcrash_async_macho_command_body).
const void* tlcrash_async_macho_next_command(const tlcrash_async_macho* image, const void* previous);
const void* tlcrash_async_macho_next_command_type(const tlcrash_async_macho* image, const void* previous, uint32_t cmd);
const void* tlcrash_async_macho_find_command(const tlcrash_async_macho* image, uint32_t cmd);
// true when the command's cmdsize is at least `size` and those bytes lie inside the mapping.
bool tlcrash_async_macho_command_body(const tlcrash_async_macho* image, const void* command, uint64_t size);
// The command's cmd and cmdsize fields in host order (the head must have been checked).
uint32_t tlcrash_async_macho_command_type(const tlcrash_async_macho* image, const void* command);
uint32_t tlcrash_async_macho_command_size(const tlcrash_async_macho* image, const void* command);

// The first LC_SEGMENT_64 (64-bit image) or LC_SEGMENT (32-bit image) named `segname` (compared
// over its 16 bytes) whose whole command lies in the mapping, or null.
const void* tlcrash_async_macho_find_segment_cmd(const tlcrash_async_macho* image, const char* segname);

// Maps a segment (a partly readable segment is accepted, cut to its readable pages).
// TLCRASH_ENOTFOUND when there is no such segment.
tlcrash_error_t tlcrash_async_macho_map_segment(const tlcrash_async_macho* image, const char* segname,
                                                tlcrash_async_macho_mapped_segment_t* segment);
void tlcrash_async_macho_mapped_segment_free(tlcrash_async_macho_mapped_segment_t* segment);

// Run-time address and size of a section, without mapping it. TLCRASH_ENOTFOUND when the segment
// or the section does not exist; TLCRASH_EINVAL when the section table runs outside the commands.
tlcrash_error_t tlcrash_async_macho_find_section(const tlcrash_async_macho* image, const char* segname,
                                                 const char* sectname, uint64_t* address, uint64_t* size);

// Maps a section whole. TLCRASH_ENOTFOUND when the segment or the section does not exist;
// TLCRASH_EINVAL when the section table runs outside the load commands.
tlcrash_error_t tlcrash_async_macho_map_section(const tlcrash_async_macho* image, const char* segname,
                                                const char* sectname, tlcrash_async_mobject* mobj);

// The 16 bytes of the LC_UUID command; false when the image has none.
bool tlcrash_async_macho_uuid(const tlcrash_async_macho* image, uint8_t uuid[16]);

}  // namespace ml::crash

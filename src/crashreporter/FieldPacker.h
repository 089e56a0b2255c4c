#pragma once
// Streaming encoder of protobuf wire-format fields for the crash report writer. With a file it
// writes the field; with none it only counts, which is how the writer learns the length of a
// nested message before writing its header (the file is written front to back, never seeked).
// Async-signal-safe: the encoded tag and value are assembled on the stack.
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncFile.h"

namespace ml::crash {

// Field types, numbered as protobuf-c's field-type enumeration.
enum tlcrash_field_type : uint32_t {
  TLCRASH_TYPE_INT32 = 0,
  TLCRASH_TYPE_SINT32 = 1,
  TLCRASH_TYPE_SFIXED32 = 2,
  TLCRASH_TYPE_INT64 = 3,
  TLCRASH_TYPE_SINT64 = 4,
  TLCRASH_TYPE_SFIXED64 = 5,
  TLCRASH_TYPE_UINT32 = 6,
  TLCRASH_TYPE_FIXED32 = 7,
  TLCRASH_TYPE_UINT64 = 8,
  TLCRASH_TYPE_FIXED64 = 9,
  TLCRASH_TYPE_FLOAT = 10,
  TLCRASH_TYPE_DOUBLE = 11,
  TLCRASH_TYPE_BOOL = 12,
  TLCRASH_TYPE_ENUM = 13,
  TLCRASH_TYPE_STRING = 14,
  TLCRASH_TYPE_BYTES = 15,
  TLCRASH_TYPE_MESSAGE = 16,
};

// Value of a bytes field.
struct tlcrash_bytes {
  uint64_t len;
  const void* data;
};

// Writes `value` as a base-128 varint into `out` (at least 10 bytes); returns its length (1 to 10).
size_t uint64_pack(uint64_t value, uint8_t* out);

// Encodes field `field` of type `type`; `value` points at the value: the C type of the field, a
// NUL-terminated string for STRING, a tlcrash_bytes for BYTES, and for MESSAGE the uint32_t length
// of the nested message (only its header is written; the caller writes the content). Returns the
// number of bytes of the field, tag included, whether or not `file` (may be null) accepted them.
// A type outside the enumeration is a programming error: it writes a diagnostic and aborts.
size_t tlcrash_writer_pack(tlcrash_async_file* file, uint32_t field, tlcrash_field_type type, const void* value);

}  // namespace ml::crash

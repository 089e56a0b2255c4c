#include "crashreporter/FieldPacker.h"

#include <cstdlib>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"

namespace ml::crash {
namespace {

// Crash time.
size_t uint32_pack(uint32_t value, uint8_t* out) { return uint64_pack(value, out); }

// Negative int32 values are sign-extended to 64 bits, as the wire format requires (10 bytes).
// Crash time.
size_t int32_pack(int32_t value, uint8_t* out) {
  return value < 0 ? uint64_pack(static_cast<uint64_t>(static_cast<int64_t>(value)), out)
                   : uint32_pack(static_cast<uint32_t>(value), out);
}

// Crash time.
uint32_t zigzag32(int32_t n) { return (static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31); }
// Crash time.
uint64_t zigzag64(int64_t n) { return (static_cast<uint64_t>(n) << 1) ^ static_cast<uint64_t>(n >> 63); }

// Crash time.
size_t fixed_pack(const void* value, size_t width, uint8_t* out) {
  tlcrash_async_memcpy(out, value, width);  // the host is little-endian, as the wire format is
  return width;
}

// Crash time.
uint8_t wireType(tlcrash_field_type type) {
  switch (type) {
    case TLCRASH_TYPE_SFIXED32:
    case TLCRASH_TYPE_FIXED32:
    case TLCRASH_TYPE_FLOAT: return 5;
    case TLCRASH_TYPE_SFIXED64:
    case TLCRASH_TYPE_FIXED64:
    case TLCRASH_TYPE_DOUBLE: return 1;
    case TLCRASH_TYPE_STRING:
    case TLCRASH_TYPE_BYTES:
    case TLCRASH_TYPE_MESSAGE: return 2;
    default: return 0;
  }
}

}  // namespace

// Crash time.
size_t uint64_pack(uint64_t value, uint8_t* out) {
  size_t n = 0;
  while (value >= 0x80) {
    out[n++] = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  out[n++] = static_cast<uint8_t>(value);
  return n;
}

// Crash time.
size_t tlcrash_writer_pack(tlcrash_async_file* file, uint32_t field, tlcrash_field_type type, const void* value) {
  // Tag (at most 10 bytes) plus the largest inline value (a 10-byte varint).
  uint8_t scratch[20];
  size_t n = uint64_pack(static_cast<uint64_t>(field) << 3, scratch);
  scratch[0] |= wireType(type);

  const void* payload = nullptr;
  size_t payloadLength = 0;

  switch (type) {
    case TLCRASH_TYPE_INT32: n += int32_pack(*static_cast<const int32_t*>(value), scratch + n); break;
    case TLCRASH_TYPE_SINT32: n += uint32_pack(zigzag32(*static_cast<const int32_t*>(value)), scratch + n); break;
    case TLCRASH_TYPE_SFIXED32:
    case TLCRASH_TYPE_FIXED32:
    case TLCRASH_TYPE_FLOAT: n += fixed_pack(value, 4, scratch + n); break;
    case TLCRASH_TYPE_INT64:
    case TLCRASH_TYPE_UINT64: n += uint64_pack(*static_cast<const uint64_t*>(value), scratch + n); break;
    case TLCRASH_TYPE_SINT64: n += uint64_pack(zigzag64(*static_cast<const int64_t*>(value)), scratch + n); break;
    case TLCRASH_TYPE_SFIXED64:
    case TLCRASH_TYPE_FIXED64:
    case TLCRASH_TYPE_DOUBLE: n += fixed_pack(value, 8, scratch + n); break;
    case TLCRASH_TYPE_UINT32:
    case TLCRASH_TYPE_ENUM: n += uint32_pack(*static_cast<const uint32_t*>(value), scratch + n); break;
    case TLCRASH_TYPE_BOOL: scratch[n++] = *static_cast<const uint8_t*>(value); break;
    case TLCRASH_TYPE_STRING: {
      auto* s = static_cast<const char*>(value);
      payload = s;
      payloadLength = tlcrash_async_strlen(s);
      n += uint32_pack(static_cast<uint32_t>(payloadLength), scratch + n);
      break;
    }
    case TLCRASH_TYPE_BYTES: {
      auto* b = static_cast<const tlcrash_bytes*>(value);
      payload = b->data;
      payloadLength = static_cast<size_t>(b->len);
      n += uint32_pack(static_cast<uint32_t>(payloadLength), scratch + n);
      break;
    }
    case TLCRASH_TYPE_MESSAGE: n += uint32_pack(*static_cast<const uint32_t*>(value), scratch + n); break;
    default:
      TLCRASH_DIAG("Unhandled field type %d", static_cast<int>(type));
      ::abort();
  }

  if (file != nullptr) {
    tlcrash_async_file_write(file, scratch, n);
    if (payloadLength > 0) tlcrash_async_file_write(file, payload, payloadLength);
  }
  return n + payloadLength;
}

}  // namespace ml::crash

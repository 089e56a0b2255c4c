#pragma once
// Readers of the kernel's configuration values by dotted name ("kernel.osrelease"), and the check
// that keeps only the valid UTF-8 prefix of bytes the kernel hands back. On Linux a dotted name is
// the file under /proc/sys with dots turned into slashes.
//
// The readers allocate: they run when the reporter is enabled, never at crash time. The UTF-8
// checks allocate nothing and are async-signal-safe.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ml::crash {

// The value as text, without its trailing newline; nullopt with errno set when it cannot be read
// (EINVAL for a name that is empty or holds '/' or a ".." component).
std::optional<std::string> tlcrash_sysctl_string(const char* name);
// true when the value reads as exactly one decimal signed 32-bit integer; stores it in *result.
bool tlcrash_sysctl_int(const char* name, int32_t* result);

// Number of leading bytes (at most `max_length`, stopping at a NUL) that form valid UTF-8. A
// leading byte order mark (EF BB BF) is skipped and counted. Over-long forms and surrogates are
// not refused; a truncated or malformed sequence ends the prefix before its lead byte.
size_t tlcrash_sysctl_valid_utf8_bytes_max(const uint8_t* bytes, size_t max_length);
// The same for a NUL-terminated string, with its length as the maximum.
size_t tlcrash_sysctl_valid_utf8_bytes(const uint8_t* bytes);

}  // namespace ml::crash

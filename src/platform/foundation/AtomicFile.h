#pragma once
// Whole-file reads and crash-safe whole-file writes.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/foundation/Result.h"

namespace ml::foundation {

// Reads the whole file; the POSIX error otherwise (ENOENT when it is missing). Files larger than
// `maxSize` are refused with EFBIG.
Result<std::vector<std::uint8_t>> readWholeFile(const std::filesystem::path& file, std::size_t maxSize);

// Replaces `file` with `bytes` atomically: writes a fresh temporary file in the same folder
// (mode `mode`), syncs it, renames it over `file`, then syncs the folder. Creates missing parent
// folders (mode 0700). On failure the old file is untouched and the temporary one removed.
Status writeFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> bytes,
                           unsigned mode = 0600);

}  // namespace ml::foundation

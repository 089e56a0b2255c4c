#pragma once
// FileType: what sort of item a path is (Files::type). FileKind: the item kinds a volume search
// can ask for. Separate types on purpose: type() never answers a FileKind.
#include <cstdint>

namespace ml::files {

enum class FileType : uint8_t { normal, symlink, alias, directory, package };

enum class FileKind : uint8_t { normal, stationery, symlink, alias, app, document, video, audio, text };

}  // namespace ml::files

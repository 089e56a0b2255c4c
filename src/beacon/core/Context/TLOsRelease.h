#pragma once
// Reader of the os-release file (freedesktop format): lines KEY=VALUE, the value bare or in
// single or double quotes, backslash escapes inside double quotes, "#" comment lines. The file is
// outside data: lines that do not parse are skipped, never fatal, and only the first
// kMaxBytes are read.
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ml::beacon {

class TLOsRelease {
 public:
  static constexpr std::size_t kMaxBytes = 64 * 1024;

  static std::map<std::string, std::string> parse(std::string_view text);
  // The first of the files that can be read, parsed; nothing when none can.
  static std::optional<std::map<std::string, std::string>> load(const std::filesystem::path& etcFile,
                                                                 const std::filesystem::path& libFile);
};

}  // namespace ml::beacon

#pragma once
// Where a test's items live, for bodies written once and run on each kind of volume: a fresh
// folder on the default file system, or the root of a fresh case-insensitive vfat volume (see
// CaseInsensitiveVolume). Parameterise a suite over Volume and make its folder in the body; skip
// with skipReason() when the volume could not be mounted here.
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/CaseInsensitiveVolume.h"
#include "support/TempDir.h"

namespace ml::test {

enum class Volume { defaultFileSystem, caseInsensitive };

class TestFolder {
 public:
  explicit TestFolder(Volume volume);
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  Volume volume() const { return volume_; }
  // Empty when the folder is there.
  std::string skipReason() const;
  const std::filesystem::path& path() const;
  // Writes `contents` to `relative` (creating parent folders) and returns the full path.
  std::filesystem::path write(const std::string& relative, const std::string& contents) const;

 private:
  Volume volume_;
  std::optional<TempDir> temp_;
  std::optional<CaseInsensitiveVolume> vfat_;
};

// Both volumes, for INSTANTIATE_TEST_SUITE_P, and their names in the tests' names.
inline auto everyVolume() { return ::testing::Values(Volume::defaultFileSystem, Volume::caseInsensitive); }
std::string volumeName(const ::testing::TestParamInfo<Volume>& info);

}  // namespace ml::test

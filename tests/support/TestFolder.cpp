#include "support/TestFolder.h"

#include <fstream>

namespace ml::test {

TestFolder::TestFolder(Volume volume) : volume_(volume) {
  if (volume == Volume::defaultFileSystem) {
    temp_.emplace();
  } else {
    vfat_.emplace();
  }
}

std::string TestFolder::skipReason() const {
  if (vfat_ && !vfat_->mounted()) return vfat_->skipReason();
  return {};
}

const std::filesystem::path& TestFolder::path() const { return temp_ ? temp_->path() : vfat_->root(); }

std::filesystem::path TestFolder::write(const std::string& relative, const std::string& contents) const {
  auto full = path() / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary);
  out << contents;
  return full;
}

std::string volumeName(const ::testing::TestParamInfo<Volume>& info) {
  return info.param == Volume::defaultFileSystem ? "DefaultFileSystem" : "CaseInsensitiveVolume";
}

}  // namespace ml::test

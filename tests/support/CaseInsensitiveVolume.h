#pragma once
// A small vfat volume for tests of names that differ only in case: a fresh image made with
// mkfs.vfat, attached to a loop device and mounted by the kernel (root only). Where the kernel
// cannot (no root, no loop devices, no vfat driver) and fusefat is installed, the same image is
// mounted through FUSE instead, which ignores case the same way. Unmounted and removed when the
// object goes.
//
// When neither works, mounted() is false and skipReason() says why, for GTEST_SKIP.
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace ml::test {

class CaseInsensitiveVolume {
 public:
  CaseInsensitiveVolume();
  ~CaseInsensitiveVolume();
  CaseInsensitiveVolume(const CaseInsensitiveVolume&) = delete;
  CaseInsensitiveVolume& operator=(const CaseInsensitiveVolume&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& skipReason() const { return skipReason_; }
  // Which way the volume is mounted ("vfat on /dev/loopN" or "vfat through fusefat").
  const std::string& how() const { return how_; }
  // Mounted by the kernel. fusefat loses the entries of a folder it renames, so folder contents
  // are worth checking only on a kernel mount.
  bool isKernelMount() const { return mounted_ && !fuse_; }
  // The volume's root folder, writable by the current user.
  const std::filesystem::path& root() const { return mountPoint_; }

 private:
  bool mountWithLoopDevice(std::string& why);
  bool mountWithFuse(std::string& why);

  TempDir dir_;  // first: removed after the volume is unmounted
  std::filesystem::path image_;
  std::filesystem::path mountPoint_;
  std::string loopDevice_;
  bool mounted_ = false;
  bool fuse_ = false;
  std::string how_;
  std::string skipReason_;
};

}  // namespace ml::test

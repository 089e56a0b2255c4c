#include "support/CaseInsensitiveVolume.h"

#include <unistd.h>

#include <fstream>
#include <vector>

#include "support/ChildProcess.h"

namespace ml::test {

namespace {

struct Outcome {
  int status = -1;  // exit status; -1 when the program could not be run or was killed
  std::string output;
};

// Runs `argv` (looked up in the sbin and bin folders) with both output streams captured. A
// program that leaves a daemon behind (fusefat) is done when it exits: the daemon may keep the
// captured output open.
Outcome run(const std::vector<std::string>& argv) {
  std::string program = argv.front();
  for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
    if (::access((folder + argv.front()).c_str(), X_OK) == 0) {
      program = folder + argv.front();
      break;
    }
  }
  const ChildOutcome child = runProgram(program, {argv.begin() + 1, argv.end()}, std::chrono::seconds(60));
  Outcome outcome;
  if (child.exited && !child.killedAfterBound) outcome.status = child.exitCode;
  outcome.output = child.out + child.err;
  while (!outcome.output.empty() && outcome.output.back() == '\n') outcome.output.pop_back();
  return outcome;
}

bool hasProgram(const std::string& name) {
  for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"})
    if (::access((folder + name).c_str(), X_OK) == 0) return true;
  return false;
}

}  // namespace

CaseInsensitiveVolume::CaseInsensitiveVolume()
    : image_(dir_.path() / "volume.img"), mountPoint_(dir_.path() / "volume") {
  std::filesystem::create_directories(mountPoint_);
  if (!hasProgram("mkfs.vfat")) {
    skipReason_ = "mkfs.vfat (dosfstools) is not installed";
    return;
  }
  {
    std::ofstream image(image_);
  }
  std::filesystem::resize_file(image_, 16 * 1024 * 1024);
  if (auto made = run({"mkfs.vfat", image_.string()}); made.status != 0) {
    skipReason_ = "mkfs.vfat failed: " + made.output;
    return;
  }
  std::string loopWhy;
  std::string fuseWhy;
  if (mountWithLoopDevice(loopWhy) || mountWithFuse(fuseWhy)) {
    mounted_ = true;
    return;
  }
  skipReason_ = "no case-insensitive volume could be mounted here: " + loopWhy + "; " + fuseWhy;
}

bool CaseInsensitiveVolume::mountWithLoopDevice(std::string& why) {
  if (::geteuid() != 0) {
    why = "mounting a loop device needs root";
    return false;
  }
  auto attached = run({"losetup", "--find", "--show", image_.string()});
  if (attached.status != 0 || attached.output.empty()) {
    why = "no loop device available (" + attached.output + ")";
    return false;
  }
  loopDevice_ = attached.output;
  const std::string owner = "uid=" + std::to_string(::getuid()) + ",gid=" + std::to_string(::getgid());
  auto mounted = run({"mount", "-t", "vfat", "-o", owner, loopDevice_, mountPoint_.string()});
  if (mounted.status != 0) {
    why = "the kernel could not mount vfat from " + loopDevice_ + " (" + mounted.output + ")";
    run({"losetup", "--detach", loopDevice_});
    loopDevice_.clear();
    return false;
  }
  how_ = "vfat on " + loopDevice_;
  return true;
}

bool CaseInsensitiveVolume::mountWithFuse(std::string& why) {
  if (!hasProgram("fusefat")) {
    why = "fusefat is not installed";
    return false;
  }
  if (::access("/dev/fuse", R_OK | W_OK) != 0) {
    why = "/dev/fuse is not usable";
    return false;
  }
  auto mounted = run({"fusefat", "-o", "rw+", image_.string(), mountPoint_.string()});
  if (mounted.status != 0) {
    why = "fusefat failed (" + mounted.output + ")";
    return false;
  }
  fuse_ = true;
  how_ = "vfat through fusefat";
  return true;
}

CaseInsensitiveVolume::~CaseInsensitiveVolume() {
  if (!mounted_) return;
  if (fuse_) {
    run({"fusermount", "-u", mountPoint_.string()});
  } else {
    run({"umount", mountPoint_.string()});
    run({"losetup", "--detach", loopDevice_});
  }
}

}  // namespace ml::test

#include "support/CaseInsensitiveVolume.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace ml::test {

namespace {

struct Outcome {
  int status = -1;  // exit status; -1 when the program could not be run
  std::string output;
};

// Runs `argv` (looked up in PATH and in the sbin folders) with both output streams captured.
Outcome run(const std::vector<std::string>& argv, const std::filesystem::path& logFile) {
  Outcome outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::string program = argv.front();
  for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
    if (::access((folder + argv.front()).c_str(), X_OK) == 0) {
      program = folder + argv.front();
      break;
    }
  }
  pid_t child = 0;
  if (::posix_spawnp(&child, program.c_str(), &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(logFile);
  std::ostringstream text;
  text << in.rdbuf();
  outcome.output = text.str();
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
  if (auto made = run({"mkfs.vfat", image_.string()}, dir_.path() / "log"); made.status != 0) {
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
  auto attached = run({"losetup", "--find", "--show", image_.string()}, dir_.path() / "log");
  if (attached.status != 0 || attached.output.empty()) {
    why = "no loop device available (" + attached.output + ")";
    return false;
  }
  loopDevice_ = attached.output;
  const std::string owner = "uid=" + std::to_string(::getuid()) + ",gid=" + std::to_string(::getgid());
  auto mounted = run({"mount", "-t", "vfat", "-o", owner, loopDevice_, mountPoint_.string()}, dir_.path() / "log");
  if (mounted.status != 0) {
    why = "the kernel could not mount vfat from " + loopDevice_ + " (" + mounted.output + ")";
    run({"losetup", "--detach", loopDevice_}, dir_.path() / "log");
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
  auto mounted = run({"fusefat", "-o", "rw+", image_.string(), mountPoint_.string()}, dir_.path() / "log");
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
  const auto log = dir_.path() / "log";
  if (fuse_) {
    run({"fusermount", "-u", mountPoint_.string()}, log);
  } else {
    run({"umount", mountPoint_.string()}, log);
    run({"losetup", "--detach", loopDevice_}, log);
  }
}

}  // namespace ml::test

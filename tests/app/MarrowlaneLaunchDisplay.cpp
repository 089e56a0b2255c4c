#include "MarrowlaneLaunchDisplay.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <sstream>

#include "support/WaitUntil.h"

namespace ml::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::optional<fs::path> programOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    fs::path candidate = fs::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

VirtualDisplay::VirtualDisplay() {
  auto xvfb = programOnPath("Xvfb");
  if (!xvfb) {
    problem_ = "Xvfb is not installed";
    return;
  }
  if (!programOnPath("xdotool")) {
    problem_ = "xdotool is not installed";
    return;
  }
  // The server writes the number of the display it took to standard output once it listens.
  server_ = std::make_unique<ChildProcess>(
      *xvfb, std::vector<std::string>{"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "1024x640x24"});
  std::string number;
  bool ready = waitUntil(
      [&] {
        std::string out = server_->output();
        auto end = out.find('\n');
        if (end == std::string::npos || end == 0 || out.find_first_not_of("0123456789") != end) return false;
        number = out.substr(0, end);
        return true;
      },
      30s);
  if (!ready) {
    problem_ = "Xvfb did not start: " + server_->output();
    server_.reset();
    return;
  }
  name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (!server_) return;
  // Ended by a signal it handles, so that it takes its lock file and socket away.
  server_->signal(SIGTERM);
  server_->wait(10s);
}

bool VirtualDisplay::xdotool(const std::vector<std::string>& arguments) const {
  if (name_.empty()) return false;
  auto outcome = runProgram(*programOnPath("xdotool"), arguments, 30s, {{"DISPLAY", name_}});
  return outcome.exited && outcome.exitCode == 0;
}

}  // namespace ml::test

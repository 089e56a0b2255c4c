#pragma once
// A virtual X display of the test's own (Xvfb on a display number it picks itself), for what
// needs a real X server: keys held through the X test extension, the desktop's opener (the
// offscreen platform has none). The server does not reset when its last client leaves, so a key
// pressed by a client that has gone stays held until it is let go, as a user's key does.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace ml::test {

// The program's full path found on PATH, or nothing.
std::optional<std::filesystem::path> programOnPath(const std::string& name);

class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Empty when the server could not be started; `problem()` says why.
  const std::string& name() const { return name_; }  // ":3"
  const std::string& problem() const { return problem_; }

  // Runs xdotool on this display with `arguments`; true when it succeeded.
  bool xdotool(const std::vector<std::string>& arguments) const;

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string name_;
  std::string problem_;
};

}  // namespace ml::test

#pragma once
// Temporary folders for tests: created fresh under $TMPDIR (or /tmp), removed with everything
// inside when the object goes. XdgSandbox points every XDG folder variable into one, so a test
// never reads or writes the user's own configuration, data, cache or state.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ml::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `contents` to `relative` (creating parent folders) and returns the full path.
  std::filesystem::path write(const std::string& relative, const std::string& contents) const;

 private:
  std::filesystem::path path_;
};

class XdgSandbox {
 public:
  XdgSandbox();
  ~XdgSandbox();
  XdgSandbox(const XdgSandbox&) = delete;
  XdgSandbox& operator=(const XdgSandbox&) = delete;

  const std::filesystem::path& root() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::vector<std::pair<std::string, std::string>> saved_;  // name, previous value ("\0" = unset)
};

}  // namespace ml::test

#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace ml::test {

namespace {
constexpr const char* kUnset = "\x01unset";
const char* const kXdgVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                     "XDG_STATE_HOME"};
}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/marrowlane-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(const std::string& relative, const std::string& contents) const {
  auto full = path_ / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary);
  out << contents;
  return full;
}

XdgSandbox::XdgSandbox() {
  for (const char* name : kXdgVariables) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? old : kUnset);
    std::string folder = name;
    auto dir = dir_.path() / folder;
    std::filesystem::create_directories(dir);
    setenv(name, dir.c_str(), 1);
  }
}

XdgSandbox::~XdgSandbox() {
  for (const auto& [name, value] : saved_) {
    if (value == kUnset)
      unsetenv(name.c_str());
    else
      setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace ml::test

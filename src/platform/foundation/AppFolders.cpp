#include "platform/foundation/AppFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/foundation/AppIdentity.h"

namespace ml::foundation {

namespace {

// The XDG rules ignore relative values: they would resolve against whatever folder we run in.
std::filesystem::path baseFolder(const char* variable, const char* defaultBelowHome) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  return AppFolders::home() / defaultBelowHome;
}

}  // namespace

std::filesystem::path AppFolders::home() {
  const char* value = std::getenv("HOME");
  if (value && *value == '/') return value;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir == '/')
    return found->pw_dir;
  return "/";
}

std::filesystem::path AppFolders::data() {
  return baseFolder("XDG_DATA_HOME", ".local/share") / AppIdentity::kIdentifier;
}

std::filesystem::path AppFolders::config() {
  return baseFolder("XDG_CONFIG_HOME", ".config") / AppIdentity::kIdentifier;
}

std::filesystem::path AppFolders::cache() {
  return baseFolder("XDG_CACHE_HOME", ".cache") / AppIdentity::kIdentifier;
}

std::filesystem::path AppFolders::state() {
  return baseFolder("XDG_STATE_HOME", ".local/state") / AppIdentity::kIdentifier;
}

std::filesystem::path AppFolders::logs() { return state() / "logs"; }

std::filesystem::path AppFolders::resources() {
  const char* value = std::getenv("MARROWLANE_RESOURCES");
  if (value && *value) return value;
  std::error_code ec;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return executable.parent_path().parent_path() / "share" / AppIdentity::kIdentifier;
}

}  // namespace ml::foundation

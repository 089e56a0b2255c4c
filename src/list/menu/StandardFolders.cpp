#include "list/menu/StandardFolders.h"

#include <cstdlib>

#include "platform/foundation/AppFolders.h"

namespace ml::list {

namespace fs = std::filesystem;

namespace {

// An absolute path from the variable, else nothing (XDG folders must be absolute; relative ones are ignored).
fs::path absoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value || value[0] != '/') return {};
  return value;
}

std::vector<fs::path> pathList(const char* name, std::vector<fs::path> defaults) {
  const char* value = std::getenv(name);
  if (!value || !*value) return defaults;
  std::vector<fs::path> paths;
  std::string text = value;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t colon = text.find(':', start);
    if (colon == std::string::npos) colon = text.size();
    std::string item = text.substr(start, colon - start);
    if (!item.empty() && item[0] == '/') paths.emplace_back(item);
    start = colon + 1;
  }
  return paths.empty() ? defaults : paths;
}

std::vector<fs::path> appended(const std::vector<fs::path>& folders, const fs::path& component) {
  std::vector<fs::path> result;
  for (const auto& folder : folders) result.push_back(folder / component);
  return result;
}

}  // namespace

BaseDirectories BaseDirectories::fromEnvironment() {
  BaseDirectories base;
  base.home = foundation::AppFolders::home();
  auto orDefault = [&](const char* name, const fs::path& fallback) {
    fs::path value = absoluteVariable(name);
    return value.empty() ? fallback : value;
  };
  base.dataHome = orDefault("XDG_DATA_HOME", base.home / ".local/share");
  base.configHome = orDefault("XDG_CONFIG_HOME", base.home / ".config");
  base.cacheHome = orDefault("XDG_CACHE_HOME", base.home / ".cache");
  base.stateHome = orDefault("XDG_STATE_HOME", base.home / ".local/state");
  base.dataDirs = pathList("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"});
  base.configDirs = pathList("XDG_CONFIG_DIRS", {"/etc/xdg"});
  return base;
}

std::vector<StandardFolderGroup> standardFolderGroups(const BaseDirectories& base) {
  using Image = StandardFolderGroup::Image;
  using Kept = StandardFolderGroup::Kept;
  std::vector<fs::path> data{base.dataHome};
  data.insert(data.end(), base.dataDirs.begin(), base.dataDirs.end());

  std::vector<fs::path> fonts{base.dataHome / "fonts", base.home / ".fonts"};
  for (const auto& dir : base.dataDirs) fonts.push_back(dir / "fonts");

  std::vector<fs::path> preferences{base.configHome};
  preferences.insert(preferences.end(), base.configDirs.begin(), base.configDirs.end());
  preferences.emplace_back("/etc");

  return {
      {"Application Support", data, Kept::all, Image::folder, false},
      {"Caches", {base.cacheHome, "/var/cache"}, Kept::all, Image::folder, false},
      {"Contextual Menu Items", appended(data, "file-manager/actions"), Kept::existing, Image::folder, true},
      {"Fonts", fonts, Kept::existing, Image::folder, false},
      {"Library", {base.home / ".local", "/usr/local", "/usr"}, Kept::all, Image::firstFolderIcon, false},
      {"Logs", {base.stateHome, "/var/log"}, Kept::existing, Image::folder, false},
      {"Preference Panes", appended(data, "applications"), Kept::existing, Image::firstFolderIcon, false},
      {"Preferences", preferences, Kept::existing, Image::firstFolderIcon, false},
      {"Trash Folders", {}, Kept::all, Image::trash, false},
  };
}

std::vector<fs::path> crashReportFolders() { return {"/var/crash", "/var/lib/systemd/coredump"}; }

}  // namespace ml::list

#pragma once
// The groups of standard folders the quick-access menu offers, as this desktop lays them out:
// the freedesktop base directories (XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME,
// XDG_STATE_HOME and the system lists XDG_DATA_DIRS, XDG_CONFIG_DIRS, each with its documented
// default) and the classic system folders.
//
//   Application Support  data home, data dirs                           all
//   Caches               cache home, /var/cache                          all
//   Contextual Menu Items  <data home and dirs>/file-manager/actions     existing, looked up when chosen
//   Fonts                <data home>/fonts, ~/.fonts, <data dirs>/fonts  existing
//   Library              ~/.local, /usr/local, /usr                      all
//   Logs                 state home, then /var/log                       existing
//   Preference Panes     <data home and dirs>/applications (settings panels are desktop entries)   existing
//   Preferences          config home, config dirs, /etc                  existing
//   Trash Folders        the freedesktop trash folders' items
//   Crash Reports        /var/crash, /var/lib/systemd/coredump           existing
//
// Pure: the variables are passed in, so the table tests without touching the environment.
#include <filesystem>
#include <string>
#include <vector>

namespace ml::list {

struct BaseDirectories {
  std::filesystem::path home;
  std::filesystem::path dataHome, configHome, cacheHome, stateHome;
  std::vector<std::filesystem::path> dataDirs, configDirs;

  // From the environment, as the freedesktop base directories are read (unset, empty or
  // relative values fall back to the defaults). Read on each call.
  static BaseDirectories fromEnvironment();
};

struct StandardFolderGroup {
  enum class Image { folder, firstFolderIcon, trash };
  enum class Kept { all, existing };

  std::string title;
  // Candidate folders in order; for the first-folder icon, the first of them.
  std::vector<std::filesystem::path> candidates;
  Kept kept = Kept::all;
  Image image = Image::folder;
  // Looked up again each time the entry is chosen, rather than when the menu opens.
  bool lookedUpWhenChosen = false;
};

// The nine groups in menu order (without the trash group's folders: the caller asks the Trash).
std::vector<StandardFolderGroup> standardFolderGroups(const BaseDirectories& base);
// The "Crash Reports" candidates.
std::vector<std::filesystem::path> crashReportFolders();

}  // namespace ml::list

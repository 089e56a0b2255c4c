#pragma once
// The quick-access menu ("Fleetlook"): the mounted volumes, the home folder with its folders, the
// groups of standard folders and the crash reports, rebuilt from the file system each time the
// menu opens. Choosing an entry opens a new list window on its items.
//
// Layout: volume entries (sorted), separator, home entry (with a submenu of the home folder's
// visible folders, sorted), separator, the nine standard-folder entries, separator, "Crash
// Reports". This builder makes the entries as values; the menu widget renders them.
//
// Blocking (it lists the home folder and the trash folders); the menu calls it on the main
// thread while the menu opens, as the menu system allows no later answer.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/FileIcon.h"
#include "files/FileSystem.h"
#include "list/menu/ListMenuRules.h"
#include "list/menu/MountedVolumes.h"
#include "list/menu/StandardFolders.h"

namespace ml::list {

struct MenuImage {
  enum class Kind { none, themeIcon, itemIcon, folder, trashFull };
  Kind kind = Kind::none;
  std::string themeName;   // themeIcon
  files::FileIcon icon;    // itemIcon
  friend bool operator==(const MenuImage&, const MenuImage&) = default;
};

struct QuickAccessEntry {
  bool separator = false;
  std::string title;
  MenuImage image;
  std::optional<QuickAccessTarget> target;  // absent only for separators
  std::vector<QuickAccessEntry> submenu;

  static QuickAccessEntry separatorEntry() {
    QuickAccessEntry entry;
    entry.separator = true;
    return entry;
  }
};

// Where the builder looks; tests replace any of them.
struct QuickAccessSources {
  std::shared_ptr<const files::FileSystem> fileSystem;
  std::function<std::optional<std::vector<MountedVolume>>()> volumes;
  std::function<BaseDirectories()> baseDirectories;
  std::function<std::string()> userName;
  // The trash folders holding the user's trashed items (their "files" folders).
  std::function<std::vector<std::filesystem::path>()> trashFolders;
  std::function<std::vector<std::filesystem::path>()> crashReportFolders;
  // The icon of an item; none for an item that has no readable icon.
  std::function<std::optional<files::FileIcon>(const std::filesystem::path&)> icon;

  // The running system's: mounted volumes, the environment's base directories, the login name,
  // the freedesktop Trash, the installed type describer.
  static QuickAccessSources system();
};

std::vector<QuickAccessEntry> buildQuickAccessMenu(const QuickAccessSources& sources);

// Titles in the menu's order: lower-cased without locale rules, then compared by the code points
// of their canonically composed forms. Stable for equal titles.
void sortByTitle(std::vector<QuickAccessEntry>& entries);

}  // namespace ml::list

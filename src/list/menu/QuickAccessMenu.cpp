#include "list/menu/QuickAccessMenu.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdlib>

#include "appkit/FreedesktopTrash.h"
#include "files/TypeDescriber.h"
#include "platform/darwin/LocalDirectory.h"
#include "platform/logging/Log.h"

namespace ml::list {

namespace fs = std::filesystem;
using files::Path;

namespace {

icu::UnicodeString sortKey(const std::string& title) {
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(title);
  text.toLower(icu::Locale::getRoot());
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || !nfc) return text;
  icu::UnicodeString composed = nfc->normalize(text, status);
  return U_SUCCESS(status) ? composed : text;
}

QuickAccessEntry entry(std::string title, MenuImage image, QuickAccessTarget target) {
  QuickAccessEntry e;
  e.title = std::move(title);
  e.image = std::move(image);
  e.target = std::move(target);
  return e;
}

MenuImage folderImage() { return {MenuImage::Kind::folder, {}, {}}; }

bool exists(const Path& path) { return path.fileSystem().exists(path); }

std::vector<Path> pathsFor(const QuickAccessSources& sources, const std::vector<fs::path>& folders, bool existingOnly) {
  std::vector<Path> paths;
  for (const auto& folder : folders) {
    Path path(sources.fileSystem, folder);
    if (!existingOnly || exists(path)) paths.push_back(std::move(path));
  }
  return paths;
}

void addVolumes(const QuickAccessSources& sources, std::vector<QuickAccessEntry>& menu) {
  auto volumes = sources.volumes ? sources.volumes() : std::nullopt;
  if (!volumes) return;
  std::vector<QuickAccessEntry> entries;
  for (const auto& volume : *volumes) {
    const std::string point = volume.mountPoint.string();
    // Automounter maps, not volumes a user mounted.
    if (point == "/home" || point == "/net") continue;
    // A volume without a name has nothing to show; the others still do.
    if (volume.name.empty()) continue;
    entries.push_back(entry(volume.name, {MenuImage::Kind::themeIcon, volume.iconName, {}},
                            Path(sources.fileSystem, volume.mountPoint)));
  }
  sortByTitle(entries);
  for (auto& e : entries) menu.push_back(std::move(e));
}

QuickAccessEntry homeEntry(const QuickAccessSources& sources, const BaseDirectories& base) {
  Path home(sources.fileSystem, base.home);
  const auto& fs = home.fileSystem();
  std::vector<QuickAccessEntry> folders;
  if (fs.isDirectory(home)) {
    for (const auto& item : fs.contentsOf(home).value_or(std::vector<Path>{})) {
      std::string name = item.url().filename().string();
      if (name.starts_with(".") || !item.fileSystem().isDirectory(item)) continue;
      folders.push_back(entry(std::move(name), {}, item));
    }
  }
  sortByTitle(folders);
  MenuImage image;
  if (auto icon = sources.icon ? sources.icon(home.url()) : std::nullopt) image = {MenuImage::Kind::itemIcon, {}, *icon};
  QuickAccessEntry e = entry(sources.userName ? sources.userName() : std::string(), image, home);
  e.submenu = std::move(folders);
  return e;
}

std::vector<Path> trashItems(const QuickAccessSources& sources) {
  std::vector<Path> items;
  for (const auto& folder : sources.trashFolders ? sources.trashFolders() : std::vector<fs::path>{}) {
    Path trash(sources.fileSystem, folder);
    const auto& fs = trash.fileSystem();
    std::optional<std::vector<Path>> listed;
    if (fs.isDirectory(trash)) listed = fs.contentsOf(trash);
    if (listed) {
      items.insert(items.end(), listed->begin(), listed->end());
    } else {
      items.push_back(trash);
    }
  }
  return items;
}

QuickAccessEntry groupEntry(const QuickAccessSources& sources, const StandardFolderGroup& group) {
  using Image = StandardFolderGroup::Image;
  MenuImage image = folderImage();
  if (group.image == Image::trash) {
    image = {MenuImage::Kind::trashFull, {}, {}};
  } else if (group.image == Image::firstFolderIcon && !group.candidates.empty() && sources.icon) {
    if (auto icon = sources.icon(group.candidates.front())) image = {MenuImage::Kind::itemIcon, {}, *icon};
  }
  if (group.image == Image::trash) return entry(group.title, image, trashItems(sources));
  const bool existingOnly = group.kept == StandardFolderGroup::Kept::existing;
  if (group.lookedUpWhenChosen) {
    PathProvider provider = [sources, candidates = group.candidates, existingOnly] {
      return pathsFor(sources, candidates, existingOnly);
    };
    return entry(group.title, image, std::move(provider));
  }
  return entry(group.title, image, pathsFor(sources, group.candidates, existingOnly));
}

}  // namespace

void sortByTitle(std::vector<QuickAccessEntry>& entries) {
  std::vector<std::pair<icu::UnicodeString, QuickAccessEntry>> keyed;
  keyed.reserve(entries.size());
  for (auto& e : entries) keyed.emplace_back(sortKey(e.title), std::move(e));
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first.compareCodePointOrder(b.first) < 0; });
  entries.clear();
  for (auto& [key, e] : keyed) entries.push_back(std::move(e));
}

std::vector<QuickAccessEntry> buildQuickAccessMenu(const QuickAccessSources& sources) {
  LOG_DEBUG("recalculating Fleetlook\u2122 menu");
  std::vector<QuickAccessEntry> menu;
  addVolumes(sources, menu);
  menu.push_back(QuickAccessEntry::separatorEntry());

  const BaseDirectories base = sources.baseDirectories ? sources.baseDirectories() : BaseDirectories::fromEnvironment();
  menu.push_back(homeEntry(sources, base));
  menu.push_back(QuickAccessEntry::separatorEntry());

  for (const auto& group : standardFolderGroups(base)) menu.push_back(groupEntry(sources, group));

  menu.push_back(QuickAccessEntry::separatorEntry());
  auto crashFolders = sources.crashReportFolders ? sources.crashReportFolders() : std::vector<fs::path>{};
  menu.push_back(entry("Crash Reports", folderImage(), pathsFor(sources, crashFolders, true)));
  return menu;
}

QuickAccessSources QuickAccessSources::system() {
  QuickAccessSources sources;
  sources.fileSystem = files::FileSystems::defaultFileSystem();
  sources.volumes = [] { return mountedVolumes(); };
  sources.baseDirectories = [] { return BaseDirectories::fromEnvironment(); };
  sources.userName = [] {
    if (auto name = darwin::currentUserName()) return std::move(*name);
    const char* user = std::getenv("USER");
    return std::string(user ? user : "");
  };
  sources.trashFolders = [] {
    std::vector<fs::path> folders;
    for (const auto& trash : appkit::FreedesktopTrash().existingTrashFolders()) folders.push_back(trash / "files");
    return folders;
  };
  sources.crashReportFolders = [] { return list::crashReportFolders(); };
  sources.icon = [](const fs::path& item) -> std::optional<files::FileIcon> {
    std::error_code ec;
    if (!fs::exists(item, ec)) return std::nullopt;
    return files::TypeDescriber::current()->icon(item);
  };
  return sources;
}

}  // namespace ml::list

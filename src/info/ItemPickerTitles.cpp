#include "info/ItemPickerTitles.h"

#include <algorithm>
#include <map>
#include <set>

#include "files/VisibleName.h"

namespace ml::info {

namespace {

// The visible names of the folders around `path`, innermost first ("/" for the root).
std::vector<std::string> enclosingFolders(const files::Path& path) {
  std::vector<std::string> folders;
  std::filesystem::path folder = path.url().parent_path();
  while (!folder.empty()) {
    const std::string name = folder.filename().string();
    if (name.empty()) {
      folders.push_back("/");
      break;
    }
    folders.push_back(files::visibleName(name));
    folder = folder.parent_path();
  }
  return folders;
}

// The innermost `depth` folders as a relative path ("a/b"), or the whole path when they are all.
std::string folderText(const std::vector<std::string>& folders, std::size_t depth) {
  const std::size_t shown = std::min(depth, folders.size());
  std::string text;
  for (std::size_t i = shown; i-- > 0;) {
    if (!text.empty() && text != "/") text += '/';
    text += folders[i];
  }
  return text;
}

}  // namespace

std::vector<std::string> itemPickerTitles(const std::vector<files::Path>& paths) {
  std::vector<std::string> names;
  std::map<std::string, std::vector<std::size_t>> alike;  // name -> positions
  for (std::size_t i = 0; i < paths.size(); ++i) {
    names.push_back(files::visibleName(paths[i].url().filename().string()));
    alike[names.back()].push_back(i);
  }
  std::vector<std::string> titles = names;
  for (const auto& [name, positions] : alike) {
    if (positions.size() < 2) continue;
    std::vector<std::vector<std::string>> folders;
    std::size_t deepest = 0;
    for (std::size_t at : positions) {
      folders.push_back(enclosingFolders(paths[at]));
      deepest = std::max(deepest, folders.back().size());
    }
    // The fewest folders that tell the alike items apart; the same number for each, so the
    // titles line up. Items of one path are never told apart: every folder is shown then.
    std::size_t depth = 1;
    for (; depth < deepest; ++depth) {
      std::set<std::string> distinct;
      for (const auto& around : folders) distinct.insert(folderText(around, depth));
      if (distinct.size() == folders.size()) break;
    }
    for (std::size_t k = 0; k < positions.size(); ++k) {
      const std::string where = folderText(folders[k], depth);
      if (!where.empty()) titles[positions[k]] = name + " \u2014 " + where;
    }
  }
  return titles;
}

}  // namespace ml::info

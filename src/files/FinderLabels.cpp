#include "files/FinderLabels.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/darwin/WorkspaceLabels.h"
#include "platform/foundation/PropertyList.h"
#include "platform/logging/Log.h"

namespace ml::files {

namespace {

std::string printed(const std::vector<std::string>& names) {
  std::ostringstream out;
  out << "[";
  for (size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << '"' << names[i] << '"';
  out << "]";
  return out.str();
}

// The tags of the preferences file; nullopt when the file is missing, unreadable or lacks the
// expected array.
std::optional<std::vector<FinderTag>> tagsFromPreferences(const std::filesystem::path& file,
                                                         const std::vector<darwin::RgbColor>& colors) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  auto root = foundation::PropertyList::parse(std::string_view(bytes));
  if (!root || !root->dictionary()) return std::nullopt;
  const foundation::PlistValue* node = &root.value();
  for (const char* key : {"values", "FinderTagDict", "value", "FinderTags"}) {
    node = node->find(key);
    if (!node) return std::nullopt;
  }
  const auto* entries = node->array();
  if (!entries) return std::nullopt;
  for (const auto& entry : *entries)
    if (!entry.dictionary()) return std::nullopt;
  LOG_VERBOSE("extracted data from plist. labels=[" << entries->size() << " entries]");

  std::vector<FinderTag> tags;
  for (const auto& entry : *entries) {
    const auto* name = entry.find("n");
    if (!name || !name->string() || name->string()->empty()) continue;  // a tag needs a name
    FinderTag tag{*name->string(), std::nullopt};
    if (const auto* label = entry.find("l")) {
      const auto index = label->integer();
      if (index && *index >= 0 && *index < 8 && static_cast<size_t>(*index) < colors.size())
        tag.color = Color{darwin::hexString(colors[static_cast<size_t>(*index)]), labelColorName(static_cast<int>(*index))};
    }
    tags.push_back(std::move(tag));
  }
  return tags;
}

}  // namespace

std::string labelColorName(int index) {
  static const std::array<const char*, 8> kNames = {"", "Gray", "Green", "Purple", "Blue", "Yellow", "Red", "Orange"};
  if (index < 0 || index >= static_cast<int>(kNames.size())) return "";
  return kNames[static_cast<size_t>(index)];
}

std::filesystem::path finderPreferencesFile() {
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : "") / "Library/SyncedPreferences/com.apple.finder.plist";
}

std::vector<FinderTag> finderLabels(bool customOnly, const std::filesystem::path& preferences) {
  LOG_VERBOSE("trying to get labels. custom-only=[" << (customOnly ? "true" : "false") << "]");
  const auto labels = darwin::workspaceFileLabels();
  const auto colors = darwin::workspaceFileLabelColors();
  if (auto tags = tagsFromPreferences(preferences, colors)) {
    if (!customOnly) return *tags;
    LOG_VERBOSE("removing default labels from results. default-labels=" << printed(labels));
    std::vector<FinderTag> custom;
    for (auto& tag : *tags)
      if (std::find(labels.begin(), labels.end(), tag.name) == labels.end()) custom.push_back(std::move(tag));
    return custom;
  }
  LOG_INFO("failed to read finder's plist for custom labels. looks like we are stuck with defaults. defaults="
           << printed(labels));
  std::vector<FinderTag> result;
  if (customOnly) return result;
  for (size_t i = 0; i < labels.size() && i < colors.size() && i < 8; ++i)
    result.push_back({labels[i], Color{darwin::hexString(colors[i]), labelColorName(static_cast<int>(i))}});
  return result;
}

}  // namespace ml::files

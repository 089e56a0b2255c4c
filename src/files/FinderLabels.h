#pragma once
// The tags the Finder knows, each with its label colour: read from the Finder's synced
// preferences file (a property list whose "values.FinderTagDict.value.FinderTags" is an array
// of dictionaries with the name under "n" and the label index under "l"), falling back to the
// workspace's eight labels. Nothing is cached: each call reads the file again. Any thread.
#include <filesystem>
#include <string>
#include <vector>

#include "files/FinderTag.h"

namespace ml::files {

// "$HOME/Library/SyncedPreferences/com.apple.finder.plist" (HOME read on each call).
std::filesystem::path finderPreferencesFile();

// The known tags in the file's order. customOnly drops tags named like a workspace label.
// An entry without a string name is skipped; a label index outside 0-7 (or the colour list)
// gives a tag without colour.
std::vector<FinderTag> finderLabels(bool customOnly, const std::filesystem::path& preferences = finderPreferencesFile());

// The default name of a label index ("" for 0, "Gray", ... "Orange"); empty outside 0-7.
std::string labelColorName(int index);

}  // namespace ml::files

#pragma once
// The Finder's label names and colours, index 0 (no label) first: the stand-in for the
// workspace's file labels and label colours. Linux file managers keep no such list, so these
// are the classic eight.
#include <string>
#include <vector>

#include "platform/darwin/RgbColor.h"

namespace ml::darwin {

std::vector<std::string> workspaceFileLabels();
std::vector<RgbColor> workspaceFileLabelColors();

}  // namespace ml::darwin

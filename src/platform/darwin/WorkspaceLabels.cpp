#include "platform/darwin/WorkspaceLabels.h"

namespace ml::darwin {

std::vector<std::string> workspaceFileLabels() {
  return {"None", "Gray", "Green", "Purple", "Blue", "Yellow", "Red", "Orange"};
}

std::vector<RgbColor> workspaceFileLabelColors() {
  return {
      {1.0, 1.0, 1.0},     // none
      {0.659, 0.659, 0.659},  // gray
      {0.396, 0.843, 0.290},  // green
      {0.733, 0.475, 0.867},  // purple
      {0.212, 0.596, 1.0},    // blue
      {0.988, 0.812, 0.200},  // yellow
      {1.0, 0.337, 0.337},    // red
      {1.0, 0.616, 0.188},    // orange
  };
}

}  // namespace ml::darwin

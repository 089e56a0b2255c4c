#include "list/window/ListWindowFactory.h"

#include "list/window/ListWindow.h"

namespace ml::list {

void installListWindows(shell::WindowFactories& windows, const shell::WindowContext& context) {
  windows.list = [&context] { return std::make_shared<ListWindow>(context); };
}

}  // namespace ml::list

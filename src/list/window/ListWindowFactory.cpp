#include "list/window/ListWindowFactory.h"

#include "list/window/ListWindow.h"

namespace ml::list {

void installListWindows(shell::WindowFactories& windows) {
  windows.list = [] { return std::make_shared<ListWindow>(); };
}

}  // namespace ml::list

#include "find/FindWindowFactory.h"

#include "find/FindWindow.h"

namespace ml::find {

void installFindWindow(shell::WindowFactories& factories) {
  factories.find = [] { return std::static_pointer_cast<shell::ShowableWindow>(FindWindow::make()); };
}

}  // namespace ml::find

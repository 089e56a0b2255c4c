#include "find/FindWindowFactory.h"

#include "find/FindWindow.h"

namespace ml::find {

void installFindWindow(shell::WindowFactories& factories, const shell::WindowContext& context) {
  factories.find = [&context] { return std::static_pointer_cast<shell::ShowableWindow>(FindWindow::make(context)); };
}

}  // namespace ml::find

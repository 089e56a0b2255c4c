#pragma once
// The running Qt application: owns the QApplication, makes the GUI thread the main queue (posting
// through the Qt event loop), names the application and gives it its icon.
//
// Exactly one exists, made first in main() on the thread that becomes the main thread; it keeps
// running when its last window closes (the launcher window decides when to quit).
#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace ml::appkit {

class Application {
 public:
  // `argc` must outlive the application (Qt keeps a reference to it).
  Application(int& argc, char** argv);
  // Uninstalls the main-queue poster before the event loop goes.
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The arguments Qt left (its own options such as -platform removed), program name excluded.
  std::vector<std::string> arguments() const;

  // Runs the event loop until the application quits; returns its exit code.
  int exec();

  QApplication& qt() { return *app_; }

 private:
  std::unique_ptr<QApplication> app_;
};

}  // namespace ml::appkit

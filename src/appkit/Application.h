#pragma once
// The running Qt application: owns the QApplication, makes the GUI thread the main queue (posting
// through the Qt event loop), names the application and gives it its icon.
//
// Exactly one exists, made first in main() on the thread that becomes the main thread; it keeps
// running when its last window closes (the launcher window decides when to quit).
//
// Shutting down. Destroying the QApplication destroys whatever is still posted to it while Qt
// holds its post-event lock, so a posted task whose captures post again from their destructors
// (a window controller letting go of its widgets) would wait on that lock for ever. Hence, once
// the event loop has returned: closeWindows() while the delegate and its stores still exist, let
// those go, then finish(), which runs every task still posted and stops posting to Qt; only then
// may the Application be destroyed.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace ml::appkit {

class Application {
 public:
  // `argc` and `argv` must outlive the application (Qt keeps references to them).
  Application(int& argc, char** argv);
  // Calls finish() when it has not run.
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The arguments Qt left (its own options such as -platform removed), program name excluded,
  // as the bytes the process was given: a file name is bytes on Linux and need not be UTF-8.
  std::vector<std::string> arguments() const;

  // Runs the event loop until the application quits; returns its exit code.
  int exec();

  // After exec(): asks every top-level window to close (so its controller announces the closing
  // and lets go of its store) and runs what that posted, until no window is open and nothing is
  // posted, or a bounded number of rounds has passed. A window that refuses to close stays.
  // From then on shuttingDown() holds.
  void closeWindows();
  // Whether the event loop has ended for good and the windows are being closed: no one is left to
  // answer a question (a window with unsaved edits closes without asking).
  static bool shuttingDown();
  // After everything made on top of the application is gone: runs the main-queue tasks and
  // deferred deletions still posted, then uninstalls the main-queue poster (later tasks are kept
  // by the main queue and never run) and runs what remains, so that no task of ours is left
  // inside Qt when the QApplication goes. Runs once; later calls do nothing.
  void finish();

  QApplication& qt() { return *app_; }

 private:
  // Runs posted events and deferred deletions until none of our tasks is posted, at most
  // `rounds` times.
  void drain(int rounds);

  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> app_;
  // Main-queue tasks posted to Qt and not yet destroyed (run or not).
  std::shared_ptr<std::atomic<long>> posted_ = std::make_shared<std::atomic<long>>(0);
  bool finished_ = false;
};

}  // namespace ml::appkit

#pragma once
// Turns SIGTERM and SIGINT (a session ending, a service manager stopping the program, Ctrl+C in a
// terminal) into an orderly quit of the event loop, so the application shuts down as when the
// user quits: windows close, stores let go, logs are flushed.
//
// A quit may wait for work under way (see AppDelegate::willTerminate). A termination signal that
// comes once the application is quitting already (a second SIGTERM, SIGINT after the user quit)
// and SIGHUP (the session or terminal that started it has ended) ask it not to wait: `urgent` is
// called, then the event loop is told to quit as for the first.
//
// The handler only writes the signal's number to a pipe (async-signal-safe); the toolkit reads it
// on the main thread. One instance per process, made on the main thread after the application and
// before anything else watches the application's aboutToQuit (this instance must learn of the quit
// before a slot that waits for work does); the previous dispositions come back when it goes.
#include <QObject>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace ml::appkit {

class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  explicit TerminationSignals(std::function<void()> urgent = {});
  ~TerminationSignals() override;

 private:
  void received();

  std::function<void()> urgent_;
  bool quitting_ = false;

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;  // child of this object
  struct sigaction previousTerm_ {};
  struct sigaction previousInt_ {};
  struct sigaction previousHup_ {};
};

// The last resort of a shutdown: once the event loop has ended, the process ends with `code`
// within `limit` even if letting go of its objects hangs (work waiting on something that will
// never come). Writes one line to standard error before it ends the process that way; what the
// stores have written to disk (telemetry, preferences) stays as written. Call once, on the main
// thread, when the event loop has returned.
void endProcessWithin(std::chrono::milliseconds limit, int code);

}  // namespace ml::appkit

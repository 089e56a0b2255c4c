#pragma once
// Turns SIGTERM and SIGINT (a session ending, a service manager stopping the program, Ctrl+C in a
// terminal) into an orderly quit of the event loop, so the application shuts down as when the
// user quits: windows close, stores let go, logs are flushed.
//
// The handler only writes one byte to a pipe (async-signal-safe); the toolkit reads it on the
// main thread and quits. One instance per process, made on the main thread after the
// application; the previous dispositions come back when it goes.
#include <QObject>
#include <csignal>
#include <memory>

class QSocketNotifier;

namespace ml::appkit {

class TerminationSignals final : public QObject {
  Q_OBJECT
 public:
  TerminationSignals();
  ~TerminationSignals() override;

 private:
  void received();

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;  // child of this object
  struct sigaction previousTerm_ {};
  struct sigaction previousInt_ {};
};

// The last resort of a shutdown: once the event loop has ended, the process ends with `code`
// within `limit` even if letting go of its objects hangs (work waiting on something that will
// never come). Writes one line to standard error before it ends the process that way; what the
// stores have written to disk (telemetry, preferences) stays as written. Call once, on the main
// thread, when the event loop has returned.
void endProcessWithin(std::chrono::milliseconds limit, int code);

}  // namespace ml::appkit

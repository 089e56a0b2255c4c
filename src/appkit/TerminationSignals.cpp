#include "appkit/TerminationSignals.h"

#include <fcntl.h>
#include <cerrno>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <string>
#include <thread>

#include "platform/dispatch/QueueAssert.h"

namespace ml::appkit {

namespace {

std::atomic<int> gWriteFd{-1};

void onSignal(int number) {
  int saved = errno;
  int fd = gWriteFd.load();
  if (fd >= 0) {
    char byte = static_cast<char>(number);
    [[maybe_unused]] auto written = ::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> urgent) : urgent_(std::move(urgent)) {
  ML_ASSERT_MAIN_THREAD();
  if (auto* application = QCoreApplication::instance()) {
    connect(application, &QCoreApplication::aboutToQuit, this, [this] { quitting_ = true; });
  }
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gWriteFd.store(fds_[1]);
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::received);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &previousTerm_);
  sigaction(SIGINT, &action, &previousInt_);
  sigaction(SIGHUP, &action, &previousHup_);
}

TerminationSignals::~TerminationSignals() {
  if (fds_[0] < 0) return;
  sigaction(SIGTERM, &previousTerm_, nullptr);
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGHUP, &previousHup_, nullptr);
  gWriteFd.store(-1);
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void TerminationSignals::received() {
  ML_ASSERT_MAIN_THREAD();
  char buffer[16];
  bool urgent = false;
  for (ssize_t n; (n = ::read(fds_[0], buffer, sizeof buffer)) > 0;) {
    for (ssize_t i = 0; i < n; ++i) {
      urgent = urgent || quitting_ || buffer[i] == SIGHUP;
      quitting_ = true;
    }
  }
  if (urgent && urgent_) urgent_();
  QCoreApplication::exit(0);
}

void endProcessWithin(std::chrono::milliseconds limit, int code) {
  std::thread([limit, code] {
    std::this_thread::sleep_for(limit);
    const std::string line = "shutdown did not finish within " + std::to_string(limit.count()) +
                             " ms; ending the process. code=" + std::to_string(code) + "\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(code);
  }).detach();
}

}  // namespace ml::appkit

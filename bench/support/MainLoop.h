#pragma once
// The main loop as the window benchmarks drive it: served until a condition holds, for a while,
// and watched for how long one piece of work kept it from the user's events.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace ml::bench {

// Runs the event loop (the main queue, deferred deletes) until `done` or the time runs out.
template <class Done>
bool pumpUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(900)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  bool met = done();
  if (met) return true;
  QEventLoop loop;
  QTimer check;
  check.setInterval(5);
  QObject::connect(&check, &QTimer::timeout, [&] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    met = done();
    if (met || std::chrono::steady_clock::now() > until) loop.quit();
  });
  check.start();
  loop.exec();
  return met;
}

// Serves the loop for `time`, so that what a step posted is handled before the next is measured.
inline void settle(std::chrono::milliseconds time = std::chrono::milliseconds(500)) {
  const auto until = std::chrono::steady_clock::now() + time;
  pumpUntil([&] { return std::chrono::steady_clock::now() > until; });
}

// The longest time the main thread went without serving a 2 ms timer, less those 2 ms: how long
// one piece of work kept it from the user's events.
class MainThreadWatch {
 public:
  MainThreadWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kInterval);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0) longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void start() {
    clock_.start();
    last_ = -1;
    timer_.start();
  }
  void stop() { timer_.stop(); }
  double longestBlockMs() const { return std::max<double>(0.0, static_cast<double>(longest_) / 1e6 - kInterval); }

 private:
  static constexpr int kInterval = 2;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  qint64 longest_ = 0;
};

}  // namespace ml::bench

#pragma once
// Memory pressure as the kernel reports it (the stand-in for a memory-pressure dispatch source):
// a watcher thread reads the "some" line of /proc/pressure/memory every interval and calls the
// handler, on the given queue, each time the share of time in which tasks stalled on memory over
// the last 10 s (avg10, in percent) rises to the threshold or above. One call per episode: the
// level has to fall below the threshold before the next call. Without pressure information (an
// older kernel, no /proc) the source stays silent.
//
// Destroying the source stops and joins the watcher; a call already posted still runs.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace ml::dispatch {
class Queue;
}

namespace ml::beacon {

class TLMemoryPressureSource {
 public:
  static constexpr double kWarningThreshold = 10.0;  // percent of the last 10 s
  static constexpr std::chrono::milliseconds kDefaultInterval{2000};

  TLMemoryPressureSource(dispatch::Queue& target, std::function<void()> handler,
                         std::string pressureFile = "/proc/pressure/memory",
                         std::chrono::milliseconds interval = kDefaultInterval);
  ~TLMemoryPressureSource();
  TLMemoryPressureSource(const TLMemoryPressureSource&) = delete;
  TLMemoryPressureSource& operator=(const TLMemoryPressureSource&) = delete;

  // avg10 of the "some" line of a pressure file's text; nothing when there is none.
  static std::optional<double> someAverage10(std::string_view text);
  // One reading, as the watcher makes one every interval: posts the handler when an episode
  // begins. False when the file cannot be read. Thread-safe.
  bool sample();

 private:
  void run();

  dispatch::Queue& target_;
  std::function<void()> handler_;
  std::string pressureFile_;
  std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::mutex sampleMutex_;
  bool underPressure_ = false;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace ml::beacon

#include "beacon/crashes/Internals/TLMemoryPressureSource.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/dispatch/Queue.h"

namespace ml::beacon {

TLMemoryPressureSource::TLMemoryPressureSource(dispatch::Queue& target, std::function<void()> handler,
                                               std::string pressureFile, std::chrono::milliseconds interval)
    : target_(target),
      handler_(std::move(handler)),
      pressureFile_(std::move(pressureFile)),
      interval_(interval),
      thread_([this] { run(); }) {}

TLMemoryPressureSource::~TLMemoryPressureSource() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::optional<double> TLMemoryPressureSource::someAverage10(std::string_view text) {
  // "some avg10=0.00 avg60=0.00 avg300=0.00 total=0"
  constexpr std::string_view kLine = "some ";
  constexpr std::string_view kField = "avg10=";
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.substr(0, kLine.size()) != kLine) continue;
    const size_t at = line.find(kField);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string number(line.substr(at + kField.size(), line.find(' ', at) - at - kField.size()));
    char* parsedEnd = nullptr;
    const double value = std::strtod(number.c_str(), &parsedEnd);
    if (parsedEnd == number.c_str()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

bool TLMemoryPressureSource::sample() {
  // Readings are taken one at a time, from the read to the verdict: a reading made before a
  // newer one must not land after it and end the episode the newer one began.
  std::lock_guard lock(sampleMutex_);
  std::ifstream file(pressureFile_);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  const std::optional<double> level = someAverage10(text.str());
  // A reading without a level (a file caught while it changes) neither starts nor ends an episode.
  if (!level) return true;
  const bool pressure = *level >= kWarningThreshold;
  if (pressure && !underPressure_) target_.async(handler_);
  underPressure_ = pressure;
  return true;
}

void TLMemoryPressureSource::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const bool readable = sample();
    lock.lock();
    if (!readable) break;  // nothing to watch on this system
    wake_.wait_for(lock, interval_, [this] { return stopping_; });
  }
}

}  // namespace ml::beacon

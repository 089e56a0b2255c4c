#pragma once
// The one writer thread behind every enabled configuration. Log calls hand it records through a
// bounded queue; it formats them, groups them per file and day, and appends them.
//
// Guarantees: no record is dropped (a full queue makes the caller wait rather than lose lines);
// records of one thread are written in the order they were made; flush() returns once every
// record submitted before it has been written. Configurations in synchronous mode make submit()
// wait until the record has been written.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/logging/LogRecord.h"
#include "platform/logging/RotatingLogFile.h"

namespace ml::logging {

class LogWriter {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  static constexpr std::size_t kQueueCapacity = 65536;

  // Expires old files of every configuration as of now() on the calling thread, then starts the
  // writer thread.
  LogWriter(std::vector<RotatingLogFileConfiguration> configurations, Clock now);
  ~LogWriter();  // drains, then joins
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  std::chrono::system_clock::time_point now() const { return now_(); }
  // Any thread. Returns at once unless a synchronous configuration accepts the record.
  void submit(LogRecord record);
  // Any thread but the writer's.
  void flush();
  // Drains what was submitted and joins the writer; later submits are dropped.
  void stop();

 private:
  void run();
  void writeBatch(std::deque<LogRecord>& batch);

  std::vector<std::unique_ptr<RotatingLogFile>> files_;  // writer thread only (after start)
  Clock now_;
  bool anySynchronous_ = false;

  std::mutex mutex_;
  std::condition_variable wake_;     // writer: records arrived or stop asked
  std::condition_variable progress_; // callers: room in the queue, or records written
  std::deque<LogRecord> queue_;
  std::uint64_t submitted_ = 0;  // records ever queued
  std::uint64_t written_ = 0;    // records ever written
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace ml::logging

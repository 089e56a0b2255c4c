#include "platform/logging/LogWriter.h"

#include <pthread.h>

#include <optional>
#include <string>

#include "platform/logging/ReadableLogFormatter.h"

namespace ml::logging {

LogWriter::LogWriter(std::vector<RotatingLogFileConfiguration> configurations, Clock now)
    : now_(std::move(now)) {
  LocalDay today = LocalDay::of(now_());
  for (auto& configuration : configurations) {
    anySynchronous_ = anySynchronous_ || configuration.synchronousMode();
    auto file = std::make_unique<RotatingLogFile>(std::move(configuration));
    file->removeExpired(today);
    files_.push_back(std::move(file));
  }
  thread_ = std::thread([this] { run(); });
}

LogWriter::~LogWriter() { stop(); }

void LogWriter::submit(LogRecord record) {
  bool waitForWrite = false;
  if (anySynchronous_) {
    for (const auto& file : files_)
      if (file->configuration().synchronousMode() && file->accepts(record.severity)) waitForWrite = true;
  }
  std::unique_lock lock(mutex_);
  // Back-pressure instead of loss: a caller that outruns the disk waits for room.
  progress_.wait(lock, [&] { return stopping_ || queue_.size() < kQueueCapacity; });
  if (stopping_) return;
  queue_.push_back(std::move(record));
  std::uint64_t mine = ++submitted_;
  if (queue_.size() == 1) wake_.notify_one();
  if (waitForWrite) progress_.wait(lock, [&] { return written_ >= mine; });
}

void LogWriter::flush() {
  std::unique_lock lock(mutex_);
  std::uint64_t target = submitted_;
  progress_.wait(lock, [&] { return written_ >= target; });
}

void LogWriter::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  wake_.notify_all();
  progress_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LogWriter::run() {
  pthread_setname_np(pthread_self(), "ml.log-writer");
  std::deque<LogRecord> batch;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping with nothing left: every record was written
      batch.swap(queue_);
    }
    progress_.notify_all();  // room in the queue again
    std::size_t count = batch.size();
    writeBatch(batch);
    batch.clear();
    {
      std::lock_guard lock(mutex_);
      written_ += count;
    }
    progress_.notify_all();
  }
}

void LogWriter::writeBatch(std::deque<LogRecord>& batch) {
  // Each record is formatted once, then every file gets one write per day it has lines for, in
  // the records' order.
  std::vector<std::string> lines;
  std::vector<LocalDay> days;
  lines.reserve(batch.size());
  days.reserve(batch.size());
  for (const auto& record : batch) {
    lines.push_back(ReadableLogFormatter::format(record));
    days.push_back(LocalDay::of(record.time));
  }
  for (auto& file : files_) {
    std::string pending;
    std::optional<LocalDay> pendingDay;
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (!file->accepts(batch[i].severity)) continue;
      if (pendingDay && *pendingDay != days[i]) {
        file->append(*pendingDay, pending);
        pending.clear();
      }
      pendingDay = days[i];
      pending += lines[i];
    }
    if (pendingDay && !pending.empty()) file->append(*pendingDay, pending);
  }
}

}  // namespace ml::logging

#pragma once
// Fixed crash-time inputs for the writer (threads, images, symbols, a writer context that does not
// depend on the host) and helpers to write a report into memory and decode it with protobuf-c.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crashreporter/AsyncFile.h"
#include "crashreporter/CrashSources.h"
#include "crashreporter/LogWriter.h"
#include "crashreporter/LogWriterContext.h"
#include "crashreporter/SignalInfo.h"
#include "crashreporter/tlcrash.pb-c.h"

namespace ml::crash::test {

struct FakeThread {
  bool crashed = false;
  std::vector<uint64_t> pcs;                 // innermost first
  const char* startError = nullptr;          // the walk cannot start
  const char* walkError = nullptr;           // the walk fails after the last pc
  std::vector<std::pair<std::string, uint64_t>> registers;
  std::vector<bool> unreadableRegisters;     // parallel to `registers`; true = read fails
};

class FakeThreads final : public ThreadSource {
 public:
  explicit FakeThreads(std::vector<FakeThread> threads) : threads_(std::move(threads)) {}

  uint32_t threadCount() override { return static_cast<uint32_t>(threads_.size()); }
  bool isCrashed(uint32_t thread) override { return threads_[thread].crashed; }
  const char* beginWalk(uint32_t thread) override;
  tlcrash_walk_step nextFrame(uint64_t* pc, const char** error) override;
  uint32_t registerCount() override { return static_cast<uint32_t>(current().registers.size()); }
  const char* registerName(uint32_t index) override { return current().registers[index].first.c_str(); }
  bool registerValue(uint32_t index, uint64_t* value, const char** error) override;
  void endWalk() override { ++walksEnded; }

  int walksBegun = 0;
  int walksEnded = 0;

 private:
  const FakeThread& current() const { return threads_[current_]; }
  std::vector<FakeThread> threads_;
  uint32_t current_ = 0;
  size_t position_ = 0;
};

struct FakeImage {
  uint64_t base = 0;
  uint64_t size = 0;
  std::string name;
  std::vector<uint8_t> uuid;  // empty: the image has none
  uint32_t cpuType = 0x01000007;
  uint32_t cpuSubtype = 3;
};

class FakeImages final : public ImageSource {
 public:
  explicit FakeImages(std::vector<FakeImage> images) : images_(std::move(images)) {}
  void beginReading() override { ++readers; }
  void endReading() override { --readers; }
  void rewind() override { position_ = 0; }
  bool next(tlcrash_binary_image* image) override;

  int readers = 0;

 private:
  std::vector<FakeImage> images_;
  size_t position_ = 0;
};

// Names every pc "sym_<hex pc>" starting 16 bytes below it.
class FakeSymbols final : public SymbolSource {
 public:
  bool lookup(uint64_t pc, uint32_t strategy, tlcrash_symbol* symbol) override;
  int lookups = 0;

 private:
  std::string name_;
};

// A writer context with fixed facts (no host reads).
tlcrash_log_writer sampleWriter();
FakeImages sampleImages(size_t count = 2);
std::vector<FakeThread> sampleThreads(size_t count, size_t frames, size_t crashedIndex = 0);

struct WrittenReport {
  std::vector<uint8_t> bytes;
  int result = 0;
};

// Writes a report into an in-memory file with `limit` (0 = none), flushing at the end.
WrittenReport writeReport(const tlcrash_log_writer& writer, ThreadSource& threads, ImageSource& images,
                          const tlcrash_log_signal_info& siginfo, uint64_t limit = 0, SymbolSource* symbols = nullptr);

struct MessageFree {
  void operator()(Tlcrash__CrashReport* report) const { tlcrash__crash_report__free_unpacked(report, nullptr); }
};
using UnpackedReport = std::unique_ptr<Tlcrash__CrashReport, MessageFree>;

// Decodes the message after the 8-byte header with protobuf-c; null when it does not decode.
UnpackedReport unpack(const std::vector<uint8_t>& file);

// Signal info for SIGSEGV / SEGV_MAPERR at `address`, without a Mach part.
struct SampleSignal {
  tlcrash_log_bsd_signal_info bsd{11, 1, 0xdead};
  tlcrash_log_signal_info info{&bsd, nullptr};
};

}  // namespace ml::crash::test

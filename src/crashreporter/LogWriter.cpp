#include "crashreporter/LogWriter.h"

#include <cerrno>
#include <ctime>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/MessageWriters.h"

namespace ml::crash {
namespace {

// Top-level field numbers of the report message.
enum : uint32_t {
  kFieldSystemInfo = 1,
  kFieldApplicationInfo = 2,
  kFieldThread = 3,
  kFieldBinaryImage = 4,
  kFieldException = 5,
  kFieldSignal = 6,
  kFieldProcessInfo = 7,
  kFieldMachineInfo = 8,
  kFieldReportInfo = 9,
};

constexpr uint64_t kNoLimit = UINT64_MAX;

// Diagnostics of the report as a whole carry the public operation's name.
#define REPORT_DIAG(...) tlcrash_async_diag(2, "tlcrash_log_writer_write", __LINE__, __VA_ARGS__)

// Largest value in [0, high] for which `fits` holds, assuming it holds for every smaller value
// too; -1 when it does not hold even for 0.
// Crash time.
template <typename Fits>
// Crash time.
int64_t largestFitting(uint32_t high, Fits&& fits) {
  if (!fits(0)) return -1;
  if (fits(high)) return high;
  uint32_t lo = 0, hi = high;  // fits(lo) && !fits(hi)
  while (hi - lo > 1) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (fits(mid)) lo = mid;
    else hi = mid;
  }
  return lo;
}

class ReportWriter {
 public:
  ReportWriter(const tlcrash_log_writer* writer, ThreadSource& threads, ImageSource& images, SymbolSource* symbols,
               tlcrash_async_file* file, const tlcrash_log_signal_info* siginfo,
               const tlcrash_process_identity& identity)
      : writer_(writer),
        threads_(threads),
        images_(images),
        symbols_(symbols),
        file_(file),
        siginfo_(siginfo),
        identity_(identity) {}

  tlcrash_error_t write() {
    if (!tlcrash_async_file_write(file_, kReportMagic, sizeof(kReportMagic)) ||
        !tlcrash_async_file_write(file_, &kReportVersion, 1)) {
      REPORT_DIAG("Could not write the report header");
      return TLCRASH_OUTPUT_ERR;
    }

    int64_t timestamp = ::time(nullptr);
    if (timestamp == -1) {
      REPORT_DIAG("Failed to fetch timestamp: %s", tlcrash_async_errno_text(errno));
      timestamp = 0;
    }

    images_.beginReading();  // held until the end, so the sizing and writing runs see one list
    uint64_t signalSize = signalField(nullptr);

    // The small facts first, each only when it leaves room for the signal.
    headField(signalSize, [&](tlcrash_async_file* f) {
      return tlcrash_writer_pack_message(f, kFieldReportInfo, [&](tlcrash_async_file* g) { return tlcrash_writer_write_report_info(g, writer_, identity_); });
    });
    headField(signalSize, [&](tlcrash_async_file* f) {
      return tlcrash_writer_pack_message(f, kFieldSystemInfo, [&](tlcrash_async_file* g) { return tlcrash_writer_write_system_info(g, writer_, timestamp); });
    });
    headField(signalSize, [&](tlcrash_async_file* f) {
      return tlcrash_writer_pack_message(f, kFieldMachineInfo, [&](tlcrash_async_file* g) { return tlcrash_writer_write_machine_info(g, writer_); });
    });
    headField(signalSize, [&](tlcrash_async_file* f) {
      return tlcrash_writer_pack_message(f, kFieldApplicationInfo, [&](tlcrash_async_file* g) { return tlcrash_writer_write_app_info(g, writer_); });
    });
    headField(signalSize, [&](tlcrash_async_file* f) {
      return tlcrash_writer_pack_message(f, kFieldProcessInfo, [&](tlcrash_async_file* g) { return tlcrash_writer_write_process_info(g, writer_, identity_); });
    });

    planTail(signalSize);
    planThreads();
    if (trimmed_) {
      REPORT_DIAG("Report trimmed to the output limit of %llu bytes", static_cast<unsigned long long>(file_->limit_bytes));
    }

    writeThreads();
    writeImages();
    if (writeException_ && fieldFits(exceptionField(nullptr, exceptionFrames_))) {
      exceptionField(file_, exceptionFrames_);
    }
    bool signalWritten = false;
    if (signalSize <= tlcrash_async_file_remaining(file_)) {
      signalField(file_);
      signalWritten = true;
    } else {
      REPORT_DIAG("No room left for the signal within the output limit");
    }
    images_.endReading();

    if (file_->failed || !signalWritten) return TLCRASH_OUTPUT_ERR;
    return TLCRASH_ESUCCESS;
  }

 private:
  template <typename Field>
  void headField(uint64_t reserve, Field&& field) {
    uint64_t size = field(nullptr);
    uint64_t remaining = tlcrash_async_file_remaining(file_);
    if (remaining != kNoLimit && (remaining < reserve || size > remaining - reserve)) {
      trimmed_ = true;
      return;
    }
    field(file_);
  }

  uint64_t signalField(tlcrash_async_file* f) {
    return tlcrash_writer_pack_message(f, kFieldSignal, [&](tlcrash_async_file* g) { return tlcrash_writer_write_signal(g, siginfo_); });
  }

  uint64_t exceptionField(tlcrash_async_file* f, uint32_t frames) {
    return tlcrash_writer_pack_message(f, kFieldException, [&](tlcrash_async_file* g) {
      return tlcrash_writer_write_exception(g, writer_, symbols_, frames);
    });
  }

  uint64_t imageField(tlcrash_async_file* f, const tlcrash_binary_image& image) {
    return tlcrash_writer_pack_message(f, kFieldBinaryImage, [&](tlcrash_async_file* g) {
      return tlcrash_writer_write_binary_image(g, image);
    });
  }

  uint64_t threadField(tlcrash_async_file* f, uint32_t thread, uint32_t number, uint32_t frames) {
    return tlcrash_writer_pack_message(f, kFieldThread, [&](tlcrash_async_file* g) {
      return tlcrash_writer_write_thread(g, writer_, threads_, symbols_, thread, number, frames);
    });
  }

  // Size of the first `count` images (all of them for UINT32_MAX); stops early once `budget` is
  // passed and then reports how many fitted in `fitting`.
  uint64_t imagesSize(uint32_t count, uint64_t budget, uint32_t* fitting) {
    uint64_t total = 0;
    uint32_t n = 0;
    tlcrash_binary_image image{};
    images_.rewind();
    while (n < count && images_.next(&image)) {
      uint64_t size = imageField(nullptr, image);
      if (size > budget - total) break;
      total += size;
      ++n;
    }
    if (fitting != nullptr) *fitting = n;
    return total;
  }

  // Decides how many images and exception frames are written, keeping room for the signal.
  void planTail(uint64_t signalSize) {
    uint64_t remaining = tlcrash_async_file_remaining(file_);
    bool hasException = writer_->uncaught_exception.has_exception;
    uint32_t exceptionCount = static_cast<uint32_t>(writer_->uncaught_exception.return_addresses.size());
    if (exceptionCount > kMaxFramesPerStack) exceptionCount = kMaxFramesPerStack;

    if (remaining == kNoLimit) {
      imageCount_ = UINT32_MAX;
      writeException_ = hasException;
      exceptionFrames_ = exceptionCount;
      threadBudget_ = kNoLimit;
      return;
    }
    uint64_t budget = remaining > signalSize ? remaining - signalSize : 0;

    uint32_t allImages = 0;
    uint64_t allImagesSize = imagesSize(UINT32_MAX, kNoLimit, &allImages);
    uint64_t used = 0;

    if (hasException && exceptionField(nullptr, 0) <= budget) {
      writeException_ = true;
      uint64_t spare = budget >= allImagesSize ? budget - allImagesSize : 0;
      int64_t frames = largestFitting(exceptionCount, [&](uint32_t c) { return exceptionField(nullptr, c) <= spare; });
      exceptionFrames_ = frames < 0 ? 0 : static_cast<uint32_t>(frames);
      if (exceptionFrames_ < exceptionCount) trimmed_ = true;
      used = exceptionField(nullptr, exceptionFrames_);
    } else if (hasException) {
      trimmed_ = true;
    }

    if (allImagesSize <= budget - used) {
      imageCount_ = allImages;
      used += allImagesSize;
    } else {
      uint32_t fitting = 0;
      used += imagesSize(UINT32_MAX, budget - used, &fitting);
      imageCount_ = fitting;
      trimmed_ = true;
    }
    threadBudget_ = budget - used;
  }

  // Decides the crashed thread's frame count, the other threads' common frame cap, and how many
  // of the other threads are written. Sizes are taken with each thread's index as its number, an
  // upper bound of the number it gets, so the plan never under-counts.
  void planThreads() {
    uint32_t count = threads_.threadCount();
    crashedThread_ = UINT32_MAX;
    for (uint32_t t = 0; t < count; ++t) {
      if (threads_.isCrashed(t)) {
        crashedThread_ = t;
        break;
      }
    }
    uint32_t others = crashedThread_ == UINT32_MAX ? count : count - 1;
    if (threadBudget_ == kNoLimit) {
      crashedFrames_ = kMaxFramesPerStack;
      writeCrashed_ = crashedThread_ != UINT32_MAX;
      otherFrames_ = kMaxFramesPerStack;
      otherThreads_ = others;
      return;
    }

    uint64_t budget = threadBudget_;
    if (crashedThread_ != UINT32_MAX) {
      int64_t frames = largestFitting(kMaxFramesPerStack, [&](uint32_t c) {
        return threadField(nullptr, crashedThread_, crashedThread_, c) <= budget;
      });
      writeCrashed_ = frames >= 0;
      if (writeCrashed_) {
        crashedFrames_ = static_cast<uint32_t>(frames);
        budget -= threadField(nullptr, crashedThread_, crashedThread_, crashedFrames_);
      }
      if (frames < static_cast<int64_t>(kMaxFramesPerStack) && fullDepth(crashedThread_, frames)) trimmed_ = true;
    }

    auto othersSize = [&](uint32_t cap, uint64_t limit, uint32_t* fitting) {
      uint64_t total = 0;
      uint32_t n = 0;
      for (uint32_t t = 0; t < count; ++t) {
        if (t == crashedThread_) continue;
        uint64_t size = threadField(nullptr, t, t, cap);
        if (size > limit - total) break;
        total += size;
        ++n;
      }
      if (fitting != nullptr) *fitting = n;
      return n == others ? total : kNoLimit;
    };
    int64_t cap = largestFitting(kMaxFramesPerStack, [&](uint32_t c) { return othersSize(c, budget, nullptr) <= budget; });
    if (cap >= 0) {
      otherFrames_ = static_cast<uint32_t>(cap);
      otherThreads_ = others;
      if (cap < static_cast<int64_t>(kMaxFramesPerStack)) trimmed_ = true;
    } else {
      otherFrames_ = 0;
      othersSize(0, budget, &otherThreads_);
      trimmed_ = true;
    }
  }

  // Whether the walk of `thread` yields more than `frames` frames (so a cap of `frames` cut it).
  bool fullDepth(uint32_t thread, int64_t frames) {
    if (frames < 0) return true;
    bool more = false;
    if (threads_.beginWalk(thread) == nullptr) {
      uint64_t pc;
      const char* error;
      for (int64_t i = 0; i <= frames; ++i) {
        if (threads_.nextFrame(&pc, &error) != tlcrash_walk_step::kFrame) break;
        if (i == frames) more = true;
      }
    }
    threads_.endWalk();
    return more;
  }

  void writeThreads() {
    uint32_t count = threads_.threadCount();
    uint32_t number = 0;
    uint32_t othersWritten = 0;
    for (uint32_t t = 0; t < count; ++t) {
      uint32_t frames;
      if (t == crashedThread_) {
        if (!writeCrashed_) continue;
        frames = crashedFrames_;
      } else {
        if (othersWritten == otherThreads_) continue;
        ++othersWritten;
        frames = otherFrames_;
      }
      if (!fieldFits(threadField(nullptr, t, number, frames))) continue;
      threadField(file_, t, number, frames);
      ++number;
    }
  }

  void writeImages() {
    tlcrash_binary_image image{};
    images_.rewind();
    for (uint32_t n = 0; n < imageCount_ && images_.next(&image); ++n) {
      if (!fieldFits(imageField(nullptr, image))) break;
      imageField(file_, image);
    }
  }

  // A last guard: a field is never started unless all of it fits.
  bool fieldFits(uint64_t size) {
    if (size <= tlcrash_async_file_remaining(file_)) return true;
    trimmed_ = true;
    return false;
  }

  const tlcrash_log_writer* writer_;
  ThreadSource& threads_;
  ImageSource& images_;
  SymbolSource* symbols_;
  tlcrash_async_file* file_;
  const tlcrash_log_signal_info* siginfo_;
  const tlcrash_process_identity identity_;

  bool trimmed_ = false;
  uint32_t imageCount_ = 0;
  bool writeException_ = false;
  uint32_t exceptionFrames_ = 0;
  uint64_t threadBudget_ = 0;
  uint32_t crashedThread_ = UINT32_MAX;
  bool writeCrashed_ = false;
  uint32_t crashedFrames_ = 0;
  uint32_t otherFrames_ = 0;
  uint32_t otherThreads_ = 0;
};

}  // namespace

// Crash time.
tlcrash_error_t tlcrash_log_writer_write(const tlcrash_log_writer* writer, ThreadSource& threads, ImageSource& images,
                                         SymbolSource* symbols, tlcrash_async_file* file,
                                         const tlcrash_log_signal_info* siginfo,
                                         const tlcrash_process_identity* identity) {
  ReportWriter report(writer, threads, images, symbols, file, siginfo,
                      identity != nullptr ? *identity : tlcrash_async_process_identity(writer));
  return report.write();
}

// Crash time.
tlcrash_error_t tlcrash_log_writer_close(tlcrash_log_writer*) { return TLCRASH_ESUCCESS; }

}  // namespace ml::crash

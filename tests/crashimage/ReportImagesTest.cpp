// The writer over the real image list and symbol lookup: a report written for this process lists
// its images with their facts and names the frames' functions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "ElfFixture.h"
#include "crashreporter/LogWriter.h"
#include "crashreporter/image/ImageListSource.h"
#include "crashreporter/image/ImageSymbolSource.h"
#include "crashreporter/image/LoadedImages.h"
#include "crashreporter/tlcrash.pb-c.h"

extern "C" __attribute__((noinline, used)) int crashimage_writer_probe(int x) { return x * 5 + 3; }

namespace ml::crash {
namespace {

using test::ElfFixture;

// One crashed thread with fixed frames and no registers.
class FixedFrames final : public ThreadSource {
 public:
  explicit FixedFrames(std::vector<uint64_t> pcs) : pcs_(std::move(pcs)) {}
  uint32_t threadCount() override { return 1; }
  bool isCrashed(uint32_t) override { return true; }
  const char* beginWalk(uint32_t) override {
    at_ = 0;
    return nullptr;
  }
  tlcrash_walk_step nextFrame(uint64_t* pc, const char**) override {
    if (at_ >= pcs_.size()) return tlcrash_walk_step::kEnd;
    *pc = pcs_[at_++];
    return tlcrash_walk_step::kFrame;
  }
  uint32_t registerCount() override { return 0; }
  const char* registerName(uint32_t) override { return ""; }
  bool registerValue(uint32_t, uint64_t*, const char**) override { return false; }
  void endWalk() override {}

 private:
  std::vector<uint64_t> pcs_;
  size_t at_ = 0;
};

struct ReportFree {
  void operator()(Tlcrash__CrashReport* report) const { tlcrash__crash_report__free_unpacked(report, nullptr); }
};
using Report = std::unique_ptr<Tlcrash__CrashReport, ReportFree>;

Report writeAndRead(ThreadSource& threads, ImageSource& images, SymbolSource& symbols) {
  tlcrash_log_writer writer;
  writer.symbol_strategy = 1;
  writer.app_identifier = "org.marrowlane.Test";
  writer.app_version = "1";
  int fd = ::memfd_create("report", MFD_CLOEXEC);
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fd, 0);
  tlcrash_log_bsd_signal_info bsd{11, 1, 16};
  tlcrash_log_signal_info siginfo{&bsd, nullptr};
  testing::internal::CaptureStderr();
  EXPECT_EQ(tlcrash_log_writer_write(&writer, threads, images, &symbols, &file, &siginfo), TLCRASH_ESUCCESS);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(tlcrash_async_file_flush(&file));
  off_t size = ::lseek(fd, 0, SEEK_END);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), size);
  ::close(fd);
  return Report(tlcrash__crash_report__unpack(nullptr, bytes.size() - 8, bytes.data() + 8));
}

TEST(ReportImages, ReportListsTheImagesAndNamesTheFrames) {
  ElfFixture elf;
  tlcrash_async_image_list list;
  tlcrash_nasync_image_list_init(&list, tlcrash_async_task_self());
  tlcrash_nasync_image_list_sync_loaded(&list);
  tlcrash_async_symbol_cache cache;
  tlcrash_async_symbol_cache_init(&cache);

  const auto probe = reinterpret_cast<uint64_t>(&crashimage_writer_probe);
  FixedFrames threads({probe + 2, elf.function("crashimage_fixture_second") + 1, 16});
  ImageListSource images(&list);
  ImageSymbolSource symbols(&list, &cache);
  Report report = writeAndRead(threads, images, symbols);
  ASSERT_NE(report, nullptr);

  size_t listed = 0;
  tlcrash_async_image_list_set_reading(&list, true);
  for (auto* i = tlcrash_async_image_list_next(&list, nullptr); i != nullptr; i = tlcrash_async_image_list_next(&list, i)) {
    ++listed;
  }
  tlcrash_async_image_list_set_reading(&list, false);
  EXPECT_EQ(report->n_binary_images, listed);
  const Tlcrash__CrashReport__BinaryImage* fixture = nullptr;
  for (size_t i = 0; i < report->n_binary_images; ++i) {
    if (report->binary_images[i]->name == ElfFixture::path()) fixture = report->binary_images[i];
  }
  ASSERT_NE(fixture, nullptr);
  EXPECT_EQ(fixture->base_address, elf.header());
  EXPECT_GT(fixture->size, 0u);
  EXPECT_TRUE(fixture->has_uuid);
  EXPECT_EQ(fixture->uuid.len, 16u);
  EXPECT_EQ(fixture->code_type->type, 0x01000007u);

  ASSERT_EQ(report->n_threads, 1u);
  const Tlcrash__CrashReport__Thread* thread = report->threads[0];
  ASSERT_EQ(thread->n_frames, 3u);
  ASSERT_NE(thread->frames[0]->symbol, nullptr);
  EXPECT_STREQ(thread->frames[0]->symbol->name, "crashimage_writer_probe");
  EXPECT_EQ(thread->frames[0]->symbol->start_address, probe);
  ASSERT_NE(thread->frames[1]->symbol, nullptr);
  EXPECT_STREQ(thread->frames[1]->symbol->name, "crashimage_fixture_second");
  EXPECT_EQ(thread->frames[2]->symbol, nullptr);  // in no image

  tlcrash_async_symbol_cache_free(&cache);
  tlcrash_nasync_image_list_free(&list);
}

}  // namespace
}  // namespace ml::crash

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "ReportFixtures.h"
#include "crashreporter/CrashReport.h"
#include "crashreporter/LogWriter.h"
#include "crashreporter/MessageWriters.h"

namespace ml::crash {
namespace {

using namespace ml::crash::test;

TEST(LogWriter, ReportStartsWithHeaderAndReportInfo) {
  auto writer = sampleWriter();
  FakeThreads threads(sampleThreads(1, 3));
  auto images = sampleImages();
  SampleSignal signal;
  auto report = writeReport(writer, threads, images, signal.info);
  ASSERT_EQ(report.result, TLCRASH_ESUCCESS);
  std::vector<uint8_t> expected = {0x74, 0x6C, 0x63, 0x72, 0x61, 0x73, 0x68, 0x01, 0x4A, 0x14, 0x08, 0x00, 0x12, 0x10};
  expected.insert(expected.end(), writer.uuid.begin(), writer.uuid.end());
  expected.push_back(0x0A);  // system info follows
  ASSERT_GE(report.bytes.size(), expected.size());
  EXPECT_EQ(std::vector<uint8_t>(report.bytes.begin(), report.bytes.begin() + static_cast<long>(expected.size())), expected);
}

TEST(LogWriter, EveryWrittenFieldDecodesWithProtobufC) {
  auto writer = sampleWriter();
  uint64_t addresses[] = {0x400200, 0x400300};
  tlcrash_log_writer_set_exception(&writer, "NSInvalidArgumentException", "bad argument", addresses);
  auto threadList = sampleThreads(3, 4, 1);
  FakeThreads threads(threadList);
  auto images = sampleImages(3);
  int64_t codes[] = {1, -2};
  tlcrash_log_mach_signal_info mach{1, codes, 2};
  tlcrash_log_bsd_signal_info bsd{11, 1, 0x1234};
  tlcrash_log_signal_info siginfo{&bsd, &mach};
  FakeSymbols symbols;
  writer.symbol_strategy = 1;

  auto written = writeReport(writer, threads, images, siginfo, 0, &symbols);
  ASSERT_EQ(written.result, TLCRASH_ESUCCESS);
  auto report = unpack(written.bytes);
  ASSERT_NE(report, nullptr);

  ASSERT_NE(report->report_info, nullptr);
  EXPECT_FALSE(report->report_info->user_requested);
  ASSERT_EQ(report->report_info->uuid.len, 16u);
  EXPECT_EQ(std::memcmp(report->report_info->uuid.data, writer.uuid.data(), 16), 0);

  ASSERT_NE(report->system_info, nullptr);
  EXPECT_EQ(report->system_info->operating_system, TLCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__LINUX);
  EXPECT_STREQ(report->system_info->os_version, "6.1.0");
  EXPECT_STREQ(report->system_info->os_build, "#1 SMP");
  EXPECT_EQ(report->system_info->architecture, TLCRASH__ARCHITECTURE__X86_64);
  EXPECT_GT(report->system_info->timestamp, 1600000000);

  ASSERT_NE(report->machine_info, nullptr);
  EXPECT_STREQ(report->machine_info->model, "Test Machine");
  ASSERT_NE(report->machine_info->processor, nullptr);
  EXPECT_EQ(report->machine_info->processor->encoding, TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH);
  EXPECT_EQ(report->machine_info->processor->type, 0x01000007u);
  EXPECT_EQ(report->machine_info->processor->subtype, 3u);
  EXPECT_EQ(report->machine_info->processor_count, 4u);
  EXPECT_EQ(report->machine_info->logical_processor_count, 8u);

  ASSERT_NE(report->application_info, nullptr);
  EXPECT_STREQ(report->application_info->identifier, "org.marrowlane.test");
  EXPECT_STREQ(report->application_info->version, "42");
  EXPECT_STREQ(report->application_info->marketing_version, "1.2");

  ASSERT_NE(report->process_info, nullptr);
  EXPECT_STREQ(report->process_info->process_name, "marrowlane");
  EXPECT_EQ(report->process_info->process_id, 1234u);
  EXPECT_STREQ(report->process_info->process_path, "/usr/bin/marrowlane");
  EXPECT_STREQ(report->process_info->parent_process_name, "bash");
  EXPECT_EQ(report->process_info->parent_process_id, 1000u);
  EXPECT_TRUE(report->process_info->native);
  EXPECT_EQ(report->process_info->start_time, 1700000000u);

  ASSERT_EQ(report->n_threads, 3u);
  for (uint32_t t = 0; t < 3; ++t) {
    const auto* thread = report->threads[t];
    EXPECT_EQ(thread->thread_number, t);
    EXPECT_EQ(thread->crashed != 0, t == 1);
    ASSERT_EQ(thread->n_frames, 4u);
    EXPECT_EQ(thread->frames[0]->pc, threadList[t].pcs[0]);
    ASSERT_NE(thread->frames[0]->symbol, nullptr);
    EXPECT_EQ(thread->frames[0]->symbol->start_address, threadList[t].pcs[0] - 16);
    EXPECT_FALSE(thread->frames[0]->symbol->has_end_address);
    EXPECT_EQ(thread->n_registers, t == 1 ? 3u : 0u);
  }
  EXPECT_STREQ(report->threads[1]->registers[1]->name, "rsp");
  EXPECT_EQ(report->threads[1]->registers[1]->value, 0x7ffd0000u);

  ASSERT_EQ(report->n_binary_images, 3u);
  EXPECT_EQ(report->binary_images[1]->base_address, 0x500000u);
  EXPECT_EQ(report->binary_images[1]->size, 0x80000u);
  EXPECT_STREQ(report->binary_images[1]->name, "/usr/lib/image1.so");
  EXPECT_FALSE(report->binary_images[1]->has_uuid);
  EXPECT_TRUE(report->binary_images[0]->has_uuid);
  ASSERT_NE(report->binary_images[0]->code_type, nullptr);
  EXPECT_EQ(report->binary_images[0]->code_type->type, 0x01000007u);

  ASSERT_NE(report->exception, nullptr);
  EXPECT_STREQ(report->exception->name, "NSInvalidArgumentException");
  EXPECT_STREQ(report->exception->reason, "bad argument");
  ASSERT_EQ(report->exception->n_frames, 2u);
  EXPECT_EQ(report->exception->frames[1]->pc, 0x400300u);

  ASSERT_NE(report->signal, nullptr);
  EXPECT_STREQ(report->signal->name, "SIGSEGV");
  EXPECT_STREQ(report->signal->code, "SEGV_MAPERR");
  EXPECT_EQ(report->signal->address, 0x1234u);
  ASSERT_NE(report->signal->mach_exception, nullptr);
  EXPECT_EQ(report->signal->mach_exception->type, 1u);
  ASSERT_EQ(report->signal->mach_exception->n_codes, 2u);
  EXPECT_EQ(report->signal->mach_exception->codes[1], static_cast<uint64_t>(-2));

  EXPECT_EQ(images.readers, 0);
  EXPECT_EQ(threads.walksBegun, threads.walksEnded);
}

TEST(LogWriter, ReportReadsBackThroughTheReader) {
  auto writer = sampleWriter();
  FakeThreads threads(sampleThreads(2, 5));
  auto images = sampleImages(2);
  SampleSignal signal;
  auto written = writeReport(writer, threads, images, signal.info);
  auto report = TLCrashReport::initWithData(written.bytes);
  ASSERT_TRUE(report.ok()) << report.error().description;
  EXPECT_EQ(report.value().threads().size(), 2u);
  EXPECT_EQ(report.value().uuidRef(), writer.uuid);
  EXPECT_EQ(report.value().systemInfo().operatingSystem(), TLCrashReportOperatingSystemLinux);
  EXPECT_EQ(report.value().processInfo()->processStartTime()->time_since_epoch().count(), 1700000000);
}

TEST(LogWriter, SignalNamesFallBackToTheNumber) {
  struct Case {
    int signo, code;
    const char* name;
    const char* codeName;
  } cases[] = {
      {6, -6, "SIGABRT", "SI_TKILL"},
      {11, 1, "SIGSEGV", "SEGV_MAPERR"},
      {11, 5, "SIGSEGV", "#5"},
      {64, INT32_MIN, "#64", "#-2147483648"},
      {INT32_MIN, INT32_MAX, "#-2147483648", "#2147483647"},
  };
  for (const auto& c : cases) {
    auto writer = sampleWriter();
    FakeThreads threads(sampleThreads(1, 1));
    auto images = sampleImages(1);
    tlcrash_log_bsd_signal_info bsd{c.signo, c.code, 0};
    tlcrash_log_signal_info siginfo{&bsd, nullptr};
    auto report = unpack(writeReport(writer, threads, images, siginfo).bytes);
    ASSERT_NE(report, nullptr);
    EXPECT_STREQ(report->signal->name, c.name);
    EXPECT_STREQ(report->signal->code, c.codeName);
  }
}

TEST(LogWriter, ThreadsAreCappedAt512FramesAndExceptionsToo) {
  auto writer = sampleWriter();
  std::vector<uint64_t> addresses(700, 0x400000);
  tlcrash_log_writer_set_exception(&writer, "E", "R", addresses);
  FakeThreads threads(sampleThreads(2, 600));
  auto images = sampleImages(1);
  SampleSignal signal;
  auto report = unpack(writeReport(writer, threads, images, signal.info).bytes);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->threads[0]->n_frames, 512u);
  EXPECT_EQ(report->threads[1]->n_frames, 512u);
  EXPECT_EQ(report->exception->n_frames, 512u);
}

TEST(LogWriter, ExceptionWithoutAddressesHasNoFrames) {
  auto writer = sampleWriter();
  tlcrash_log_writer_set_exception(&writer, nullptr, "why", {});
  FakeThreads threads(sampleThreads(1, 1));
  auto images = sampleImages(1);
  SampleSignal signal;
  auto report = unpack(writeReport(writer, threads, images, signal.info).bytes);
  ASSERT_NE(report, nullptr);
  ASSERT_NE(report->exception, nullptr);
  EXPECT_STREQ(report->exception->name, "");  // a missing name is written empty, never read through null
  EXPECT_EQ(report->exception->n_frames, 0u);
}

TEST(LogWriter, UnknownFactsAreWrittenAsDefaultsOrLeftOut) {
  tlcrash_log_writer writer;  // nothing gathered
  FakeThreads threads(sampleThreads(1, 1));
  auto images = sampleImages(1);
  SampleSignal signal;
  auto written = writeReport(writer, threads, images, signal.info);
  auto report = unpack(written.bytes);
  ASSERT_NE(report, nullptr);
  EXPECT_STREQ(report->system_info->os_version, "0.0.0");
  EXPECT_EQ(report->system_info->os_build, nullptr);
  EXPECT_EQ(report->machine_info->model, nullptr);
  EXPECT_EQ(report->process_info->process_name, nullptr);
  EXPECT_EQ(report->process_info->process_path, nullptr);
  EXPECT_EQ(report->application_info->marketing_version, nullptr);
  EXPECT_STREQ(report->application_info->identifier, "");
  EXPECT_TRUE(TLCrashReport::initWithData(written.bytes).ok());
}

TEST(LogWriter, ThreadWhoseWalkCannotStartHasNoFrames) {
  auto threadList = sampleThreads(2, 3);
  threadList[1].startError = "no state";
  threadList[0].walkError = "unreadable stack";
  threadList[0].unreadableRegisters = {false, true, false};
  FakeThreads threads(threadList);
  auto images = sampleImages(1);
  SampleSignal signal;
  auto report = unpack(writeReport(sampleWriter(), threads, images, signal.info).bytes);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->threads[0]->n_frames, 3u);
  ASSERT_EQ(report->threads[0]->n_registers, 3u);
  EXPECT_EQ(report->threads[0]->registers[1]->value, 0u);  // unreadable register written as 0
  EXPECT_EQ(report->threads[1]->n_frames, 0u);
  EXPECT_EQ(threads.walksBegun, threads.walksEnded);
}

TEST(LogWriter, SmallLimitTrimsFramesThenThreadsAndStillDecodes) {
  auto writer = sampleWriter();
  uint64_t addresses[] = {0x400000, 0x400010};
  tlcrash_log_writer_set_exception(&writer, "E", "R", addresses);
  FakeThreads threads(sampleThreads(50, 512, 7));
  auto images = sampleImages(20);
  SampleSignal signal;
  for (uint64_t limit : {65536u, 16384u, 4096u, 2048u, 1400u}) {
    auto written = writeReport(writer, threads, images, signal.info, limit);
    EXPECT_EQ(written.result, TLCRASH_ESUCCESS) << limit;
    EXPECT_LE(written.bytes.size(), limit);
    auto report = TLCrashReport::initWithData(written.bytes);
    ASSERT_TRUE(report.ok()) << limit << ": " << report.error().description;
    const auto& value = report.value();
    EXPECT_EQ(value.images().size(), 20u) << limit;
    ASSERT_TRUE(value.hasExceptionInfo());
    EXPECT_EQ(value.exceptionInfo()->stackFrames()->size(), 2u);
    EXPECT_EQ(value.signalInfo().name(), "SIGSEGV");
    // The crashed thread is kept, and numbers count the written threads.
    bool crashedSeen = false;
    for (size_t i = 0; i < value.threads().size(); ++i) {
      EXPECT_EQ(value.threads()[i].threadNumber(), static_cast<int64_t>(i));
      crashedSeen = crashedSeen || value.threads()[i].crashed();
    }
    EXPECT_TRUE(crashedSeen) << limit;
  }
}

TEST(LogWriter, CrashedThreadKeepsMoreFramesThanTheOthers) {
  FakeThreads threads(sampleThreads(50, 512, 3));
  auto images = sampleImages(2);
  SampleSignal signal;
  auto written = writeReport(sampleWriter(), threads, images, signal.info, 32768);
  auto report = TLCrashReport::initWithData(written.bytes);
  ASSERT_TRUE(report.ok()) << report.error().description;
  const auto& list = report.value().threads();
  ASSERT_EQ(list.size(), 50u);
  EXPECT_EQ(list[3].stackFrames().size(), 512u);
  EXPECT_LT(list[0].stackFrames().size(), 512u);
  EXPECT_EQ(list[0].stackFrames().size(), list[49].stackFrames().size());
  EXPECT_GT(written.bytes.size(), 32768u - 600u);  // the budget is used, not wasted
}

TEST(LogWriter, ImagesAreTrimmedWhenTheyAloneOutgrowTheLimit) {
  FakeThreads threads(sampleThreads(1, 1));
  auto images = sampleImages(200);
  SampleSignal signal;
  auto written = writeReport(sampleWriter(), threads, images, signal.info, 2048);
  EXPECT_LE(written.bytes.size(), 2048u);
  auto report = unpack(written.bytes);
  ASSERT_NE(report, nullptr);
  EXPECT_GT(report->n_binary_images, 0u);
  EXPECT_LT(report->n_binary_images, 200u);
  EXPECT_NE(report->signal, nullptr);
}

TEST(LogWriter, LimitWithoutRoomForTheSignalIsNotASuccess) {
  FakeThreads threads(sampleThreads(1, 1));
  auto images = sampleImages(1);
  SampleSignal signal;
  auto written = writeReport(sampleWriter(), threads, images, signal.info, 20);
  EXPECT_EQ(written.result, TLCRASH_OUTPUT_ERR);
  auto tiny = writeReport(sampleWriter(), threads, images, signal.info, 4);
  EXPECT_EQ(tiny.result, TLCRASH_OUTPUT_ERR);
}

TEST(LogWriter, FailedOutputIsNotASuccess) {
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &previous);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fds[1], kReportOutputLimit);
  auto writer = sampleWriter();
  FakeThreads threads(sampleThreads(4, 64));
  auto images = sampleImages(4);
  SampleSignal signal;
  EXPECT_EQ(tlcrash_log_writer_write(&writer, threads, images, nullptr, &file, &signal.info), TLCRASH_OUTPUT_ERR);
  EXPECT_FALSE(tlcrash_async_file_close(&file));
  ::close(fds[1]);
  ::sigaction(SIGPIPE, &previous, nullptr);
}

TEST(LogWriter, SymbolsAreLeftOutWithoutAStrategy) {
  auto writer = sampleWriter();
  writer.symbol_strategy = 0;
  FakeThreads threads(sampleThreads(1, 2));
  auto images = sampleImages(1);
  FakeSymbols symbols;
  SampleSignal signal;
  auto report = unpack(writeReport(writer, threads, images, signal.info, 0, &symbols).bytes);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->threads[0]->frames[0]->symbol, nullptr);
  EXPECT_EQ(symbols.lookups, 0);
}

TEST(MessageWriters, CountingRunMatchesWrittenBytes) {
  auto writer = sampleWriter();
  EXPECT_EQ(tlcrash_writer_write_report_info(nullptr, &writer, tlcrash_async_process_identity(&writer)), 2u + 2u + 16u);
  tlcrash_binary_image image{0x1000, 0x2000, "/lib/x.so", nullptr, 7, 3};
  // 2: size, 1: base, 3: name, 5: processor {1, 2, 3}
  EXPECT_EQ(tlcrash_writer_write_binary_image(nullptr, image), 3u + 3u + 11u + 2u + 6u);
}

}  // namespace
}  // namespace ml::crash

#include "ReportFixtures.h"

#include <cstdio>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace ml::crash::test {

const char* FakeThreads::beginWalk(uint32_t thread) {
  ++walksBegun;
  current_ = thread;
  position_ = 0;
  return threads_[thread].startError;
}

tlcrash_walk_step FakeThreads::nextFrame(uint64_t* pc, const char** error) {
  const FakeThread& t = current();
  if (position_ < t.pcs.size()) {
    *pc = t.pcs[position_++];
    return tlcrash_walk_step::kFrame;
  }
  if (t.walkError != nullptr) {
    *error = t.walkError;
    return tlcrash_walk_step::kError;
  }
  return tlcrash_walk_step::kEnd;
}

bool FakeThreads::registerValue(uint32_t index, uint64_t* value, const char** error) {
  const FakeThread& t = current();
  if (index < t.unreadableRegisters.size() && t.unreadableRegisters[index]) {
    *error = "register not available";
    return false;
  }
  *value = t.registers[index].second;
  return true;
}

bool FakeImages::next(tlcrash_binary_image* image) {
  if (position_ >= images_.size()) return false;
  const FakeImage& i = images_[position_++];
  *image = tlcrash_binary_image{i.base, i.size, i.name.c_str(), i.uuid.empty() ? nullptr : i.uuid.data(), i.cpuType,
                                i.cpuSubtype};
  return true;
}

bool FakeSymbols::lookup(uint64_t pc, uint32_t, tlcrash_symbol* symbol) {
  ++lookups;
  char text[32];
  std::snprintf(text, sizeof(text), "sym_%llx", static_cast<unsigned long long>(pc));
  name_ = text;
  symbol->name = name_.c_str();
  symbol->start_address = pc - 16;
  return true;
}

tlcrash_log_writer sampleWriter() {
  tlcrash_log_writer writer;
  for (size_t i = 0; i < writer.uuid.size(); ++i) writer.uuid[i] = static_cast<uint8_t>(0xA0 + i);
  writer.os_version = "6.1.0";
  writer.os_build = "#1 SMP";
  writer.model = "Test Machine";
  writer.cpu_type = 0x01000007;
  writer.cpu_subtype = 3;
  writer.physical_cpu_count = 4;
  writer.logical_cpu_count = 8;
  writer.app_identifier = "org.marrowlane.test";
  writer.app_version = "42";
  writer.app_marketing_version = "1.2";
  writer.process_name = "marrowlane";
  writer.process_id = 1234;
  writer.process_path = "/usr/bin/marrowlane";
  writer.start_time = 1700000000;
  writer.parent_process_name = "bash";
  writer.parent_process_id = 1000;
  writer.native = true;
  return writer;
}

FakeImages sampleImages(size_t count) {
  std::vector<FakeImage> images;
  for (size_t i = 0; i < count; ++i) {
    FakeImage image;
    image.base = 0x400000 + i * 0x100000;
    image.size = 0x80000;
    image.name = "/usr/lib/image" + std::to_string(i) + ".so";
    if (i % 2 == 0) {
      for (uint8_t b = 0; b < 16; ++b) image.uuid.push_back(b);
    }
    images.push_back(image);
  }
  return FakeImages(std::move(images));
}

std::vector<FakeThread> sampleThreads(size_t count, size_t frames, size_t crashedIndex) {
  std::vector<FakeThread> threads(count);
  for (size_t t = 0; t < count; ++t) {
    threads[t].crashed = t == crashedIndex;
    for (size_t f = 0; f < frames; ++f) threads[t].pcs.push_back(0x400100 + t * 0x1000 + f * 4);
    if (threads[t].crashed) {
      threads[t].registers = {{"rip", 0x400100}, {"rsp", 0x7ffd0000}, {"rbp", 0x7ffd0040}};
    }
  }
  return threads;
}

WrittenReport writeReport(const tlcrash_log_writer& writer, ThreadSource& threads, ImageSource& images,
                          const tlcrash_log_signal_info& siginfo, uint64_t limit, SymbolSource* symbols) {
  int fd = ::memfd_create("report", 0);
  if (fd < 0) throw std::runtime_error("memfd_create failed");
  tlcrash_async_file file;
  tlcrash_async_file_init(&file, fd, limit);
  WrittenReport report;
  report.result = tlcrash_log_writer_write(&writer, threads, images, symbols, &file, &siginfo);
  tlcrash_async_file_flush(&file);
  off_t size = ::lseek(fd, 0, SEEK_END);
  report.bytes.resize(static_cast<size_t>(size));
  if (size > 0 && ::pread(fd, report.bytes.data(), report.bytes.size(), 0) != size) {
    ::close(fd);
    throw std::runtime_error("reading the report back failed");
  }
  ::close(fd);
  return report;
}

UnpackedReport unpack(const std::vector<uint8_t>& file) {
  if (file.size() < 8) return nullptr;
  return UnpackedReport(tlcrash__crash_report__unpack(nullptr, file.size() - 8, file.data() + 8));
}

}  // namespace ml::crash::test

#include "ReportBuilder.h"

#include <deque>
#include <stdexcept>

#include "crashreporter/tlcrash.pb-c.h"

namespace ml::beacon::test {

namespace {

// Owns every message and string of one report until it is packed.
struct Arena {
  std::deque<std::string> strings;
  std::deque<Tlcrash__CrashReport__Thread__StackFrame> frames;
  std::deque<Tlcrash__CrashReport__Symbol> symbols;
  std::deque<Tlcrash__CrashReport__Thread__RegisterValue> registers;
  std::deque<Tlcrash__CrashReport__Thread> threads;
  std::deque<Tlcrash__CrashReport__BinaryImage> images;
  std::deque<Tlcrash__CrashReport__Processor> processors;
  std::deque<std::vector<void*>> pointerLists;
  std::deque<std::vector<uint8_t>> blobs;

  char* str(const std::string& text) { return strings.emplace_back(text).data(); }
  template <class T>
  T** list(const std::vector<T*>& items) {
    auto& stored = pointerLists.emplace_back(items.begin(), items.end());
    return reinterpret_cast<T**>(stored.data());
  }
  ProtobufCBinaryData blob(const std::vector<uint8_t>& bytes) {
    auto& stored = blobs.emplace_back(bytes);
    return ProtobufCBinaryData{stored.size(), stored.data()};
  }
  std::vector<Tlcrash__CrashReport__Thread__StackFrame*> frameList(const std::vector<FrameSpec>& specs) {
    std::vector<Tlcrash__CrashReport__Thread__StackFrame*> result;
    for (const auto& spec : specs) {
      auto& frame = frames.emplace_back(Tlcrash__CrashReport__Thread__StackFrame TLCRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT);
      frame.has_pc = true;
      frame.pc = spec.pc;
      if (spec.symbol) {
        auto& symbol = symbols.emplace_back(Tlcrash__CrashReport__Symbol TLCRASH__CRASH_REPORT__SYMBOL__INIT);
        symbol.name = str(*spec.symbol);
        symbol.has_start_address = true;
        symbol.start_address = spec.symbolStart;
        frame.symbol = &symbol;
      }
      result.push_back(&frame);
    }
    return result;
  }
};

}  // namespace

std::vector<uint8_t> reportBytes(const ReportSpec& spec) {
  Arena arena;
  Tlcrash__CrashReport report = TLCRASH__CRASH_REPORT__INIT;

  Tlcrash__CrashReport__SystemInfo system = TLCRASH__CRASH_REPORT__SYSTEM_INFO__INIT;
  system.has_operating_system = true;
  system.operating_system = static_cast<Tlcrash__CrashReport__SystemInfo__OperatingSystem>(spec.operatingSystem);
  system.os_version = arena.str("6.1");
  system.has_architecture = true;
  system.architecture = static_cast<Tlcrash__Architecture>(spec.architecture);
  system.has_timestamp = true;
  system.timestamp = spec.timestamp;
  report.system_info = &system;

  Tlcrash__CrashReport__ApplicationInfo application = TLCRASH__CRASH_REPORT__APPLICATION_INFO__INIT;
  application.identifier = arena.str("org.marrowlane.Marrowlane");
  application.version = arena.str("1");
  report.application_info = &application;

  Tlcrash__CrashReport__ProcessInfo process = TLCRASH__CRASH_REPORT__PROCESS_INFO__INIT;
  if (spec.processInfo) {
    if (spec.processName) process.process_name = arena.str(*spec.processName);
    process.has_process_id = true;
    process.process_id = spec.processId;
    if (spec.processPath) process.process_path = arena.str(*spec.processPath);
    if (spec.parentProcessName) process.parent_process_name = arena.str(*spec.parentProcessName);
    process.has_parent_process_id = true;
    process.parent_process_id = spec.parentProcessId;
    process.has_native = true;
    process.native = true;
    if (spec.startTime) {
      process.has_start_time = true;
      process.start_time = *spec.startTime;
    }
    report.process_info = &process;
  }

  Tlcrash__CrashReport__Signal signal = TLCRASH__CRASH_REPORT__SIGNAL__INIT;
  signal.name = arena.str(spec.signalName);
  signal.code = arena.str(spec.signalCode);
  signal.has_address = true;
  signal.address = spec.signalAddress;
  report.signal = &signal;

  Tlcrash__CrashReport__Exception exception = TLCRASH__CRASH_REPORT__EXCEPTION__INIT;
  if (spec.exceptionName) {
    exception.name = arena.str(*spec.exceptionName);
    exception.reason = arena.str(spec.exceptionReason);
    auto frames = arena.frameList(spec.exceptionFrames);
    exception.n_frames = frames.size();
    exception.frames = arena.list(frames);
    report.exception = &exception;
  }

  std::vector<Tlcrash__CrashReport__Thread*> threads;
  for (const auto& threadSpec : spec.threads) {
    auto& thread = arena.threads.emplace_back(Tlcrash__CrashReport__Thread TLCRASH__CRASH_REPORT__THREAD__INIT);
    thread.has_thread_number = true;
    thread.thread_number = threadSpec.number;
    thread.has_crashed = true;
    thread.crashed = threadSpec.crashed;
    auto frames = arena.frameList(threadSpec.frames);
    thread.n_frames = frames.size();
    thread.frames = arena.list(frames);
    std::vector<Tlcrash__CrashReport__Thread__RegisterValue*> registers;
    for (const auto& [name, value] : threadSpec.registers) {
      auto& reg = arena.registers.emplace_back(
          Tlcrash__CrashReport__Thread__RegisterValue TLCRASH__CRASH_REPORT__THREAD__REGISTER_VALUE__INIT);
      reg.name = arena.str(name);
      reg.has_value = true;
      reg.value = value;
      registers.push_back(&reg);
    }
    thread.n_registers = registers.size();
    thread.registers = arena.list(registers);
    threads.push_back(&thread);
  }
  report.n_threads = threads.size();
  report.threads = arena.list(threads);

  std::vector<Tlcrash__CrashReport__BinaryImage*> images;
  for (const auto& imageSpec : spec.images) {
    auto& image = arena.images.emplace_back(Tlcrash__CrashReport__BinaryImage TLCRASH__CRASH_REPORT__BINARY_IMAGE__INIT);
    image.has_base_address = true;
    image.base_address = imageSpec.base;
    image.has_size = true;
    image.size = imageSpec.size;
    image.name = arena.str(imageSpec.name);
    if (!imageSpec.uuid.empty()) {
      image.has_uuid = true;
      image.uuid = arena.blob(imageSpec.uuid);
    }
    auto& processor = arena.processors.emplace_back(Tlcrash__CrashReport__Processor TLCRASH__CRASH_REPORT__PROCESSOR__INIT);
    processor.has_encoding = true;
    processor.encoding = TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
    processor.has_type = true;
    processor.type = imageSpec.cpuType;
    processor.has_subtype = true;
    processor.subtype = imageSpec.cpuSubtype;
    if (imageSpec.machCodeType) image.code_type = &processor;
    images.push_back(&image);
  }
  report.n_binary_images = images.size();
  report.binary_images = arena.list(images);

  Tlcrash__CrashReport__ReportInfo info = TLCRASH__CRASH_REPORT__REPORT_INFO__INIT;
  info.has_user_requested = true;
  if (spec.uuid) {
    info.has_uuid = true;
    info.uuid = arena.blob(*spec.uuid);
  }
  report.report_info = &info;

  std::vector<uint8_t> bytes{'t', 'l', 'c', 'r', 'a', 's', 'h', 1};
  const size_t offset = bytes.size();
  bytes.resize(offset + tlcrash__crash_report__get_packed_size(&report));
  tlcrash__crash_report__pack(&report, bytes.data() + offset);
  return bytes;
}

crash::TLCrashReport buildReport(const ReportSpec& spec) {
  auto bytes = reportBytes(spec);
  auto report = crash::TLCrashReport::initWithData(bytes);
  if (!report) throw std::runtime_error("fixture report does not decode");
  return std::move(report).value();
}

}  // namespace ml::beacon::test

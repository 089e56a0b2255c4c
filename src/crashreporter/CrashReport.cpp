#include "crashreporter/CrashReport.h"

#include <cstring>
#include <memory>
#include <string>

#include "crashreporter/tlcrash.pb-c.h"

namespace ml::crash {
namespace {

using Report = Tlcrash__CrashReport;
using Frame = Tlcrash__CrashReport__Thread__StackFrame;

// Every reader-side check stops decoding with one of these.
struct Failure {
  std::string text;
};

[[noreturn]] void fail(std::string text) { throw Failure{std::move(text)}; }

struct MessageDeleter {
  void operator()(Report* report) const { tlcrash__crash_report__free_unpacked(report, nullptr); }
};

std::optional<std::string> optionalString(const char* value) {
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// protobuf-c stores whatever number the file holds in a C enum field, also numbers outside the
// enumeration; reading such a value through the enum type is undefined in C++, so the bytes are
// taken as a plain integer instead.
template <typename Enum>
int32_t enumNumber(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int32_t));
  int32_t number;
  std::memcpy(&number, &field, sizeof(number));
  return number;
}

std::optional<TLCrashReportDate> secondsSince1970(int64_t seconds) { return TLCrashReportDate(std::chrono::seconds(seconds)); }

}  // namespace

class TLCrashReport::Decoder {
 public:
  static std::unique_ptr<Report, MessageDeleter> decodeCrashData(std::span<const uint8_t> data) {
    if (data.size() <= 8) fail("Could not decode truncated crash log");
    if (std::memcmp(data.data(), "tlcrash", 7) != 0) fail("Could not decode invalid crash log header");
    if (data[7] != 1) fail("Could not decode unsupported crash report version: " + std::to_string(data[7]));
    Report* message = tlcrash__crash_report__unpack(nullptr, data.size() - 8, data.data() + 8);
    if (message == nullptr) fail("An unknown error occured decoding the crash report");
    return std::unique_ptr<Report, MessageDeleter>(message);
  }

  static TLCrashReportSystemInfo extractSystemInfo(const Tlcrash__CrashReport__SystemInfo* info) {
    if (info == nullptr) fail("Crash report is missing System Information section");
    if (info->os_version == nullptr) fail("Crash report is missing System Information OS version field");
    std::optional<TLCrashReportDate> timestamp;
    if (info->timestamp != 0) timestamp = secondsSince1970(info->timestamp);
    return TLCrashReportSystemInfo(enumNumber(info->operating_system), info->os_version, optionalString(info->os_build),
                                   enumNumber(info->architecture), timestamp);
  }

  static TLCrashReportProcessorInfo extractProcessorInfo(const Tlcrash__CrashReport__Processor* processor) {
    return TLCrashReportProcessorInfo(enumNumber(processor->encoding), processor->type, processor->subtype);
  }

  static TLCrashReportMachineInfo extractMachineInfo(const Tlcrash__CrashReport__MachineInfo* info) {
    std::optional<TLCrashReportProcessorInfo> processor;
    if (info->processor != nullptr) processor = extractProcessorInfo(info->processor);
    return TLCrashReportMachineInfo(optionalString(info->model), processor, info->processor_count,
                                    info->logical_processor_count);
  }

  static TLCrashReportApplicationInfo extractApplicationInfo(const Tlcrash__CrashReport__ApplicationInfo* info) {
    if (info == nullptr) fail("Crash report is missing Application Information section");
    if (info->identifier == nullptr) fail("Crash report is missing Application Information app identifier field");
    if (info->version == nullptr) fail("Crash report is missing Application Information app version field");
    return TLCrashReportApplicationInfo(info->identifier, info->version, optionalString(info->marketing_version));
  }

  static TLCrashReportProcessInfo extractProcessInfo(const Tlcrash__CrashReport__ProcessInfo* info) {
    std::optional<TLCrashReportDate> start;
    if (info->has_start_time) start = secondsSince1970(static_cast<int64_t>(info->start_time));
    return TLCrashReportProcessInfo(optionalString(info->process_name), info->process_id,
                                    optionalString(info->process_path), start,
                                    optionalString(info->parent_process_name), info->parent_process_id, info->native != 0);
  }

  static TLCrashReportSignalInfo extractSignalInfo(const Tlcrash__CrashReport__Signal* signal) {
    if (signal == nullptr) fail("Crash report is missing Signal Information section");
    if (signal->name == nullptr) fail("Crash report is missing signal name field");
    if (signal->code == nullptr) fail("Crash report is missing signal code field");
    return TLCrashReportSignalInfo(signal->name, signal->code, signal->address);
  }

  static TLCrashReportMachExceptionInfo extractMachExceptionInfo(const Tlcrash__CrashReport__Signal__MachException* mach) {
    if (mach->n_codes >= 256) fail("Crash report includes too many Mach Exception codes");
    return TLCrashReportMachExceptionInfo(mach->type, std::vector<uint64_t>(mach->codes, mach->codes + mach->n_codes));
  }

  static std::optional<TLCrashReportSymbolInfo> extractSymbolInfo(const Tlcrash__CrashReport__Symbol* symbol) {
    // A symbol without a name tells nothing: the frame keeps its address only.
    if (symbol == nullptr || symbol->name == nullptr) return std::nullopt;
    return TLCrashReportSymbolInfo(symbol->name, symbol->start_address, symbol->has_end_address ? symbol->end_address : 0);
  }

  static TLCrashReportStackFrameInfo extractStackFrameInfo(const Frame* frame) {
    return TLCrashReportStackFrameInfo(frame->pc, extractSymbolInfo(frame->symbol));
  }

  static std::vector<TLCrashReportStackFrameInfo> extractFrames(Frame* const* frames, size_t count) {
    std::vector<TLCrashReportStackFrameInfo> result;
    result.reserve(count);
    for (size_t i = 0; i < count; ++i) result.push_back(extractStackFrameInfo(frames[i]));
    return result;
  }

  static std::vector<TLCrashReportThreadInfo> extractThreadInfo(const Report* report) {
    if (report->n_threads == 0) fail("Crash report is missing thread state information");
    std::vector<TLCrashReportThreadInfo> threads;
    threads.reserve(report->n_threads);
    for (size_t t = 0; t < report->n_threads; ++t) {
      const auto* thread = report->threads[t];
      auto frames = extractFrames(thread->frames, thread->n_frames);
      std::vector<TLCrashReportRegisterInfo> registers;
      registers.reserve(thread->n_registers);
      for (size_t r = 0; r < thread->n_registers; ++r) {
        const auto* reg = thread->registers[r];
        if (reg->name == nullptr) fail("Missing register name in register value");
        registers.emplace_back(reg->name, reg->value);
      }
      threads.emplace_back(static_cast<int64_t>(thread->thread_number), std::move(frames), thread->crashed != 0,
                           std::move(registers));
    }
    return threads;
  }

  static std::vector<TLCrashReportBinaryImageInfo> extractImageInfo(const Report* report) {
    if (report->n_binary_images == 0) fail("Crash report is missing binary image information");
    std::vector<TLCrashReportBinaryImageInfo> images;
    images.reserve(report->n_binary_images);
    for (size_t i = 0; i < report->n_binary_images; ++i) {
      const auto* image = report->binary_images[i];
      if (image->name == nullptr) fail("Missing image name in image record");
      std::optional<std::span<const uint8_t>> uuid;
      if (image->has_uuid && image->uuid.len > 0) uuid = std::span<const uint8_t>(image->uuid.data, image->uuid.len);
      std::optional<TLCrashReportProcessorInfo> codeType;
      if (image->code_type != nullptr) codeType = extractProcessorInfo(image->code_type);
      images.emplace_back(codeType, image->base_address, image->size, image->name, uuid);
    }
    return images;
  }

  static TLCrashReportExceptionInfo extractExceptionInfo(const Tlcrash__CrashReport__Exception* exception) {
    if (exception->name == nullptr) fail("Crash report is missing exception name field");
    if (exception->reason == nullptr) fail("Crash report is missing exception reason field");
    std::optional<std::vector<TLCrashReportStackFrameInfo>> frames;
    if (exception->n_frames > 0) frames = extractFrames(exception->frames, exception->n_frames);
    return TLCrashReportExceptionInfo(exception->name, exception->reason, std::move(frames));
  }

  static TLCrashReport decode(std::span<const uint8_t> data) {
    auto message = decodeCrashData(data);
    TLCrashReport report;
    if (message->report_info != nullptr && message->report_info->has_uuid) {
      const auto& uuid = message->report_info->uuid;
      if (uuid.len != 16) fail("Report UUID value is not a standard 16 bytes");
      ReportUuid bytes{};
      std::memcpy(bytes.data(), uuid.data, bytes.size());
      report.uuid_ = bytes;
    }
    report.systemInfo_ = extractSystemInfo(message->system_info);
    if (message->machine_info != nullptr) report.machineInfo_ = extractMachineInfo(message->machine_info);
    report.applicationInfo_ = extractApplicationInfo(message->application_info);
    if (message->process_info != nullptr) report.processInfo_ = extractProcessInfo(message->process_info);
    report.signalInfo_ = extractSignalInfo(message->signal);
    if (message->signal->mach_exception != nullptr) {
      report.machExceptionInfo_ = extractMachExceptionInfo(message->signal->mach_exception);
    }
    report.threads_ = extractThreadInfo(message.get());
    report.images_ = extractImageInfo(message.get());
    if (message->exception != nullptr) report.exceptionInfo_ = extractExceptionInfo(message->exception);
    return report;
  }
};

Result<TLCrashReport> TLCrashReport::initWithData(std::span<const uint8_t> data) {
  // Decoding runs in a normal context; the internal Failure exception never leaves this function.
  try {
    return Decoder::decode(data);
  } catch (const Failure& failure) {
    return TLCrashReporterError{TLCrashReporterErrorCrashReportInvalid, failure.text};
  }
}

const TLCrashReportBinaryImageInfo* TLCrashReport::imageForAddress(uint64_t address) const {
  for (const auto& image : images_) {
    // Written as a difference so a base near the top of the address space cannot wrap around.
    if (address >= image.imageBaseAddress() && address - image.imageBaseAddress() < image.imageSize()) return &image;
  }
  return nullptr;
}

}  // namespace ml::crash

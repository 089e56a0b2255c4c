#include "beacon/crashes/Util/TLErrorLogFormatter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "beacon/core/Context/TLDeviceTracker.h"
#include "beacon/core/Service/TLBeacon.h"
#include "beacon/core/TLLogger.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

using Date = TLErrorLogFormatter::Date;
using crash::TLCrashReportBinaryImageInfo;
using crash::TLCrashReportThreadInfo;

constexpr std::uint64_t kCpuTypeArm = 12;
constexpr std::uint64_t kCpuTypeArm64 = 0x0100000C;
constexpr std::uint64_t kCpuTypeX86 = 7;
constexpr std::uint64_t kCpuTypeX86_64 = 0x01000007;
constexpr std::uint64_t kCpuTypePowerPC = 18;

std::optional<std::uint64_t> cpuTypeForArchitecture(std::int32_t architecture) {
  switch (architecture) {
    case crash::TLCrashReportArchitectureARMv6:
    case crash::TLCrashReportArchitectureARMv7:
      return kCpuTypeArm;
    case crash::TLCrashReportArchitectureX86_32:
      return kCpuTypeX86;
    case crash::TLCrashReportArchitectureX86_64:
      return kCpuTypeX86_64;
    case crash::TLCrashReportArchitecturePPC:
      return kCpuTypePowerPC;
    default:
      return std::nullopt;
  }
}

Date toDate(const crash::TLCrashReportDate& date) { return std::chrono::time_point_cast<Date::duration>(date); }

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); });
  return text;
}

bool startsWith(const std::string& text, std::string_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }
bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Replaces every "<prefix><name>/" (name: one or more characters other than "/") by
// "<prefix>USER/", scanning left to right without overlaps.
std::string replaceHomeFolders(const std::string& path, std::string_view prefix) {
  std::string result;
  size_t position = 0;
  while (position < path.size()) {
    const size_t found = path.find(prefix, position);
    if (found == std::string::npos) break;
    const size_t nameStart = found + prefix.size();
    const size_t slash = path.find('/', nameStart);
    if (slash == std::string::npos) break;
    if (slash == nameStart) {  // empty name: no match here
      result.append(path, position, found + 1 - position);
      position = found + 1;
      continue;
    }
    result.append(path, position, found - position);
    result.append(prefix);
    result.append("USER/");
    position = slash + 1;
  }
  result.append(path, position, std::string::npos);
  return result;
}

}  // namespace

std::string TLErrorLogFormatter::formatAddress(std::uint64_t address, bool is64bit) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*" PRIx64, is64bit ? 16 : 8, address);
  return text;
}

std::optional<std::string> TLErrorLogFormatter::uuidRefToString(const std::optional<crash::ReportUuid>& uuid) {
  if (!uuid) return std::nullopt;
  return crash::uuidString(*uuid);
}

std::string TLErrorLogFormatter::errorIdForCrashReport(const Report& report) {
  if (auto text = uuidRefToString(report.uuidRef())) return *text;
  return foundation::Uuid::random().string();
}

void TLErrorLogFormatter::addProcessInfoAndApplicationPathTo(TLAppleErrorLog& log, const Report& report) {
  log.processId = 0;
  log.processName = "???";
  log.parentProcessName = "???";
  log.parentProcessId.reset();
  log.applicationPath = "???";
  if (!report.hasProcessInfo()) return;
  const auto& info = *report.processInfo();
  log.processId = static_cast<std::int64_t>(info.processID());
  if (info.processName()) log.processName = *info.processName();
  if (info.processPath()) log.applicationPath = anonymizedPathFromPath(*info.processPath());
  if (info.parentProcessName()) log.parentProcessName = *info.parentProcessName();
  log.parentProcessId = static_cast<std::int64_t>(info.parentProcessID());
}

std::optional<TLErrorLogFormatter::Date> TLErrorLogFormatter::getAppLaunchTimeFromReport(const Report& report) {
  if (report.hasProcessInfo()) {
    const auto& start = report.processInfo()->processStartTime();
    return start ? std::optional<Date>(toDate(*start)) : std::nullopt;
  }
  return getCrashTimeFromReport(report);
}

std::optional<TLErrorLogFormatter::Date> TLErrorLogFormatter::getCrashTimeFromReport(const Report& report) {
  const auto& timestamp = report.systemInfo().timestamp();
  return timestamp ? std::optional<Date>(toDate(*timestamp)) : std::nullopt;
}

const TLCrashReportThreadInfo* TLErrorLogFormatter::findCrashedThreadInReport(const Report& report) {
  for (const auto& thread : report.threads()) {
    if (thread.crashed()) return &thread;
  }
  return nullptr;
}

std::optional<std::uint64_t> TLErrorLogFormatter::extractCodeTypeFromReport(const Report& report) {
  for (const auto& image : report.images()) {
    if (image.codeType() && image.codeType()->typeEncoding() == crash::TLCrashReportProcessorTypeEncodingMach) {
      return image.codeType()->type();
    }
    if (auto type = cpuTypeForArchitecture(report.systemInfo().architecture())) return type;
  }
  return std::nullopt;
}

bool TLErrorLogFormatter::isCodeType64bit(std::optional<std::uint64_t> codeType) {
  return codeType && (*codeType == kCpuTypeArm64 || *codeType == kCpuTypeX86_64);
}

std::optional<std::string> TLErrorLogFormatter::extractExceptionReasonFromReport(const Report& report) {
  if (!report.hasExceptionInfo()) return std::nullopt;
  return report.exceptionInfo()->exceptionReason();
}

std::optional<std::string> TLErrorLogFormatter::selectorRegisterValueFromReport(
    const Report& report, const TLCrashReportThreadInfo* crashedThread, bool is64bit) {
  // The selector name would be read from the matching Mach-O image's method-name section in this
  // process. Images here are ELF and carry no such section, so the look-up never finds one; the
  // register-name rule is kept so a report naming "x1"/"r1"/"r2" takes the same path.
  (void)report;
  (void)crashedThread;
  (void)is64bit;
  return std::nullopt;
}

std::string TLErrorLogFormatter::formatStackFrame(const crash::TLCrashReportStackFrameInfo& frame,
                                                  const Report& report) {
  const std::uint64_t ip = frame.instructionPointer();
  const TLCrashReportBinaryImageInfo* image = report.imageForAddress(normalizeAddress(ip, true));
  const std::uint64_t base = image ? image->imageBaseAddress() : 0;
  const std::int64_t offset = image ? static_cast<std::int64_t>(ip - base) : 0;
  std::optional<std::string> imageName;
  if (image) imageName = image->imageName();
  std::optional<std::string> processPath;
  if (report.hasProcessInfo()) processPath = report.processInfo()->processPath();
  const int type = imageTypeForImagePath(imageName, processPath);
  char text[64];
  if (type == kImageTypeOther && frame.symbolInfo()) {
    std::string name = frame.symbolInfo()->symbolName();
    if (name.size() >= 2 && name[0] == '_') {
      const auto os = report.systemInfo().operatingSystem();
      if (os == crash::TLCrashReportOperatingSystemiPhoneSimulator) {
        name.erase(0, 1);
      } else if (os != crash::TLCrashReportOperatingSystemLinux) {
        // ELF symbols (Linux) carry no added leading underscore: their names stand as they are.
        TL_LOG_WARNING(kCrashesLogTag, "Symbol prefix rules are unknown for this OS!");
      }
    }
    std::snprintf(text, sizeof text, " + %" PRId64,
                  static_cast<std::int64_t>(ip - frame.symbolInfo()->startAddress()));
    return name + text;
  }
  std::snprintf(text, sizeof text, "0x%" PRIx64 " + %" PRId64, base, offset);
  return text;
}

std::vector<std::shared_ptr<TLThread>> TLErrorLogFormatter::extractThreadsFromReport(
    const Report& report, const TLCrashReportThreadInfo* crashedThread, bool is64bit) {
  std::shared_ptr<TLException> exception;
  if (report.hasExceptionInfo()) {
    const auto& info = *report.exceptionInfo();
    if (info.stackFrames() && !info.stackFrames()->empty()) {
      std::vector<std::shared_ptr<TLStackFrame>> frames;
      for (const auto& frameInfo : *info.stackFrames()) {
        auto frame = std::make_shared<TLStackFrame>();
        frame->address = formatAddress(frameInfo.instructionPointer(), is64bit);
        frames.push_back(std::move(frame));
      }
      exception = std::make_shared<TLException>();
      exception->message = info.exceptionReason();
      exception->frames = std::move(frames);
      exception->type = info.exceptionName();
    }
  }
  std::vector<std::shared_ptr<TLThread>> threads;
  for (const auto& threadInfo : report.threads()) {
    auto thread = std::make_shared<TLThread>();
    thread->threadId = threadInfo.threadNumber();
    if (crashedThread && exception && threadInfo.threadNumber() == crashedThread->threadNumber()) {
      thread->exception = exception;
    }
    for (const auto& frameInfo : threadInfo.stackFrames()) {
      auto frame = std::make_shared<TLStackFrame>();
      frame->address = formatAddress(frameInfo.instructionPointer(), is64bit);
      frame->code = formatStackFrame(frameInfo, report);
      thread->frames->push_back(std::move(frame));
    }
    threads.push_back(std::move(thread));
  }
  return threads;
}

std::map<std::string, std::string> TLErrorLogFormatter::extractRegistersFromCrashedThread(
    const TLCrashReportThreadInfo* thread, bool is64bit) {
  std::map<std::string, std::string> registers;
  if (!thread) return registers;
  for (const auto& reg : thread->registers()) {
    registers[reg.registerName()] = formatAddress(reg.registerValue(), is64bit);
  }
  return registers;
}

std::vector<std::uint64_t> TLErrorLogFormatter::addressesFromReport(const Report& report, bool is64bit) {
  std::vector<std::uint64_t> addresses;
  if (report.hasExceptionInfo() && report.exceptionInfo()->stackFrames()) {
    for (const auto& frame : *report.exceptionInfo()->stackFrames()) {
      addresses.push_back(normalizeAddress(frame.instructionPointer(), is64bit));
    }
  }
  for (const auto& thread : report.threads()) {
    for (const auto& frame : thread.stackFrames()) addresses.push_back(normalizeAddress(frame.instructionPointer(), is64bit));
    for (const auto& reg : thread.registers()) addresses.push_back(normalizeAddress(reg.registerValue(), is64bit));
  }
  return addresses;
}

bool TLErrorLogFormatter::isBinaryWithStart(std::uint64_t start, std::uint64_t end,
                                            const std::vector<std::uint64_t>& addresses) {
  return std::any_of(addresses.begin(), addresses.end(), [&](std::uint64_t a) { return start <= a && a <= end; });
}

std::vector<std::shared_ptr<TLBinary>> TLErrorLogFormatter::extractBinaryImagesFromReport(
    const Report& report, std::optional<std::uint64_t> codeType, bool is64bit) {
  const std::vector<std::uint64_t> addresses = addressesFromReport(report, is64bit);
  std::vector<const TLCrashReportBinaryImageInfo*> images;
  for (const auto& image : report.images()) images.push_back(&image);
  std::stable_sort(images.begin(), images.end(), [](const auto* a, const auto* b) {
    return a->imageBaseAddress() < b->imageBaseAddress();
  });
  std::optional<std::string> processPath;
  if (report.hasProcessInfo()) processPath = report.processInfo()->processPath();
  std::vector<std::shared_ptr<TLBinary>> binaries;
  for (const auto* image : images) {
    const std::uint64_t start = normalizeAddress(image->imageBaseAddress(), is64bit);
    const std::uint64_t size = image->imageSize() == 0 ? 1 : image->imageSize();
    // Saturates instead of wrapping for an image that claims to reach past the address space.
    const std::uint64_t end = size - 1 > UINT64_MAX - start ? UINT64_MAX : start + size - 1;
    const std::optional<std::string> name = image->imageName();
    if (!isBinaryWithStart(start, end, addresses) && imageTypeForImagePath(name, processPath) == kImageTypeOther) {
      continue;
    }
    auto binary = std::make_shared<TLBinary>();
    binary->binaryId = image->hasImageUUID() ? *image->imageUUID() : std::string("???");
    binary->startAddress = formatAddress(start, is64bit);
    binary->endAddress = formatAddress(end, is64bit);
    binary->path = anonymizedPathFromPath(image->imageName());
    binary->name = image->imageName().empty() ? std::string("???")
                                              : std::filesystem::path(image->imageName()).filename().string();
    if (codeType) binary->primaryArchitectureId = static_cast<std::int64_t>(*codeType);
    if (image->codeType()) binary->architectureVariantId = static_cast<std::int64_t>(image->codeType()->subtype());
    binaries.push_back(std::move(binary));
  }
  return binaries;
}

int TLErrorLogFormatter::imageTypeForImagePath(const std::optional<std::string>& imagePath,
                                               const std::optional<std::string>& processPath) {
  if (!imagePath || !processPath) return kImageTypeOther;
  std::string standardized = std::filesystem::path(*imagePath).lexically_normal().string();
  if (standardized.size() > 1 && standardized.back() == '/') standardized.pop_back();
  const std::string s = lower(standardized);
  const std::string i = lower(*imagePath);
  const std::string p = lower(*processPath);
  if (s.find(".app/") != std::string::npos &&
      !(s.find("frameworks/libswift") != std::string::npos && endsWith(s, ".dylib"))) {
    return s == p || startsWith(i, p) ? kImageTypeApplication : kImageTypeBundle;
  }
  return kImageTypeOther;
}

std::string TLErrorLogFormatter::anonymizedPathFromPath(const std::string& path) {
  if (path.empty()) return "";
  if (startsWith(path, "/Users/")) return replaceHomeFolders(path, "/Users/");
  // Linux homes: the user's name is the folder under /home.
  if (startsWith(path, "/home/")) return replaceHomeFolders(path, "/home/");
  if (path.find("Users") == std::string::npos) return path;
  return "";
}

std::shared_ptr<TLAppleErrorLog> TLErrorLogFormatter::errorLogFromCrashReport(const Report& report) {
  auto log = std::make_shared<TLAppleErrorLog>();
  const std::optional<std::uint64_t> codeType = extractCodeTypeFromReport(report);
  const bool is64bit = isCodeType64bit(codeType);

  log->errorId = errorIdForCrashReport(report);
  addProcessInfoAndApplicationPathTo(*log, report);

  const TLCrashReportThreadInfo* crashedThread = findCrashedThreadInReport(report);
  log->errorThreadId = crashedThread ? crashedThread->threadNumber() : 0;
  log->fatal = true;
  log->appLaunchTimestamp = getAppLaunchTimeFromReport(report);

  // The backend tells whole-second crash times apart from times it made itself by their
  // milliseconds: a whole second is moved to its .999 mark. An absent time counts as the epoch.
  Date crashTime = getCrashTimeFromReport(report).value_or(Date{});
  if (crashTime.time_since_epoch() % std::chrono::seconds(1) == Date::duration::zero()) {
    crashTime += std::chrono::milliseconds(999);
  }
  log->setTimestamp(crashTime);

  for (const auto& image : report.images()) {
    if (image.codeType() && image.codeType()->typeEncoding() == crash::TLCrashReportProcessorTypeEncodingMach) {
      log->primaryArchitectureId = static_cast<std::int64_t>(image.codeType()->type());
      log->architectureVariantId = static_cast<std::int64_t>(image.codeType()->subtype());
    }
  }

  const auto& signal = report.signalInfo();
  log->osExceptionType = signal.name();
  log->osExceptionCode = signal.code();
  char address[32];
  std::snprintf(address, sizeof address, "0x%" PRIx64, signal.address());
  log->osExceptionAddress = address;

  log->exceptionReason = extractExceptionReasonFromReport(report);
  if (report.hasExceptionInfo()) log->exceptionType = report.exceptionInfo()->exceptionName();
  log->selectorRegisterValue = selectorRegisterValueFromReport(report, crashedThread, is64bit);
  log->threads = extractThreadsFromReport(report, crashedThread, is64bit);
  log->registers = extractRegistersFromCrashedThread(crashedThread, is64bit);
  log->binaries = extractBinaryImagesFromReport(report, codeType, is64bit);
  log->setDevice(TLDeviceTracker::sharedInstance()->deviceForTimestamp(log->timestamp()));

  if (auto key = uuidRefToString(report.uuidRef())) {
    if (auto wrapper = TLWrapperExceptionManager::loadWrapperExceptionWithUUIDString(*key)) {
      log->exception = wrapper->modelException;
    }
  }
  return log;
}

std::shared_ptr<TLErrorReport> TLErrorLogFormatter::errorReportFromCrashReport(const Report* report) {
  if (!report) return nullptr;
  return errorReportFromLog(*errorLogFromCrashReport(*report));
}

std::shared_ptr<TLErrorReport> TLErrorLogFormatter::errorReportFromLog(const TLAppleErrorLog& log) {
  const auto installId = TLBeacon::installId();
  return std::make_shared<TLErrorReport>(
      log.errorId, installId ? installId->string() : std::string(), log.osExceptionType, log.exceptionType,
      log.exceptionReason, log.appLaunchTimestamp, log.timestamp(),
      TLDeviceTracker::sharedInstance()->deviceForTimestamp(log.timestamp()),
      log.processId ? static_cast<std::uint64_t>(*log.processId) : 0);
}

}  // namespace ml::beacon

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crashreporter/CrashReport.h"
#include "crashreporter/tlcrash.pb-c.h"

namespace ml::crash {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes header(uint8_t version = 1) { return {'t', 'l', 'c', 'r', 'a', 's', 'h', version}; }

// A complete, valid report built from protobuf-c's structures; tests break one part at a time.
struct CraftedReport {
  CraftedReport() {
    system.os_version = const_cast<char*>("6.1.0");
    system.has_timestamp = true;
    system.timestamp = 1700000000;
    app.identifier = const_cast<char*>("org.marrowlane.test");
    app.version = const_cast<char*>("1");
    signal.name = const_cast<char*>("SIGSEGV");
    signal.code = const_cast<char*>("SEGV_MAPERR");
    frame.has_pc = true;
    frame.pc = 0x401000;
    framePtr = &frame;
    thread.n_frames = 1;
    thread.frames = &framePtr;
    threadPtr = &thread;
    image.has_base_address = image.has_size = true;
    image.base_address = 0x400000;
    image.size = 0x1000;
    image.name = const_cast<char*>("/usr/bin/app");
    imagePtr = &image;
    report.system_info = &system;
    report.application_info = &app;
    report.signal = &signal;
    report.n_threads = 1;
    report.threads = &threadPtr;
    report.n_binary_images = 1;
    report.binary_images = &imagePtr;
  }

  Bytes file(uint8_t version = 1) const {
    Bytes bytes = header(version);
    size_t size = tlcrash__crash_report__get_packed_size(&report);
    bytes.resize(8 + size);
    tlcrash__crash_report__pack(&report, bytes.data() + 8);
    return bytes;
  }

  Tlcrash__CrashReport report = TLCRASH__CRASH_REPORT__INIT;
  Tlcrash__CrashReport__SystemInfo system = TLCRASH__CRASH_REPORT__SYSTEM_INFO__INIT;
  Tlcrash__CrashReport__ApplicationInfo app = TLCRASH__CRASH_REPORT__APPLICATION_INFO__INIT;
  Tlcrash__CrashReport__Signal signal = TLCRASH__CRASH_REPORT__SIGNAL__INIT;
  Tlcrash__CrashReport__Thread thread = TLCRASH__CRASH_REPORT__THREAD__INIT;
  Tlcrash__CrashReport__Thread* threadPtr = nullptr;
  Tlcrash__CrashReport__Thread__StackFrame frame = TLCRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
  Tlcrash__CrashReport__Thread__StackFrame* framePtr = nullptr;
  Tlcrash__CrashReport__BinaryImage image = TLCRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
  Tlcrash__CrashReport__BinaryImage* imagePtr = nullptr;
};

std::string errorOf(const Bytes& file) {
  auto report = TLCrashReport::initWithData(file);
  if (report.ok()) return "(decoded)";
  EXPECT_EQ(report.error().code, TLCrashReporterErrorCrashReportInvalid);
  EXPECT_STREQ(report.error().domain(), "TLCrashReporterErrorDomain");
  return report.error().description;
}

TEST(CrashReportReader, HeaderChecks) {
  EXPECT_EQ(errorOf({}), "Could not decode truncated crash log");
  EXPECT_EQ(errorOf(header()), "Could not decode truncated crash log");
  CraftedReport crafted;
  Bytes bad = crafted.file();
  bad[0] = 'T';
  EXPECT_EQ(errorOf(bad), "Could not decode invalid crash log header");
  EXPECT_EQ(errorOf(crafted.file(3)), "Could not decode unsupported crash report version: 3");
  EXPECT_EQ(errorOf(crafted.file(2)), "Could not decode unsupported crash report version: 2");
}

TEST(CrashReportReader, UndecodableMessage) {
  Bytes file = header();
  file.insert(file.end(), {0x0A, 0x7F, 0x01});  // a length that runs past the end
  EXPECT_EQ(errorOf(file), "An unknown error occured decoding the crash report");
  Bytes wireType7 = header();
  wireType7.insert(wireType7.end(), {0x0F, 0x00});
  EXPECT_EQ(errorOf(wireType7), "An unknown error occured decoding the crash report");
}

TEST(CrashReportReader, MissingPartsAreNamed) {
  struct Case {
    void (*breakIt)(CraftedReport&);
    const char* error;
  } cases[] = {
      {[](CraftedReport& c) { c.report.system_info = nullptr; }, "Crash report is missing System Information section"},
      {[](CraftedReport& c) { c.system.os_version = nullptr; }, "Crash report is missing System Information OS version field"},
      {[](CraftedReport& c) { c.report.application_info = nullptr; }, "Crash report is missing Application Information section"},
      {[](CraftedReport& c) { c.app.identifier = nullptr; }, "Crash report is missing Application Information app identifier field"},
      {[](CraftedReport& c) { c.app.version = nullptr; }, "Crash report is missing Application Information app version field"},
      {[](CraftedReport& c) { c.report.signal = nullptr; }, "Crash report is missing Signal Information section"},
      {[](CraftedReport& c) { c.signal.name = nullptr; }, "Crash report is missing signal name field"},
      {[](CraftedReport& c) { c.signal.code = nullptr; }, "Crash report is missing signal code field"},
      {[](CraftedReport& c) { c.report.n_threads = 0; }, "Crash report is missing thread state information"},
      {[](CraftedReport& c) { c.report.n_binary_images = 0; }, "Crash report is missing binary image information"},
      {[](CraftedReport& c) { c.image.name = nullptr; }, "Missing image name in image record"},
  };
  for (const auto& c : cases) {
    CraftedReport crafted;
    c.breakIt(crafted);
    EXPECT_EQ(errorOf(crafted.file()), c.error);
  }
}

TEST(CrashReportReader, MissingRegisterAndExceptionFields) {
  CraftedReport crafted;
  Tlcrash__CrashReport__Thread__RegisterValue reg = TLCRASH__CRASH_REPORT__THREAD__REGISTER_VALUE__INIT;
  auto* regPtr = &reg;
  crafted.thread.n_registers = 1;
  crafted.thread.registers = &regPtr;
  EXPECT_EQ(errorOf(crafted.file()), "Missing register name in register value");

  CraftedReport withException;
  Tlcrash__CrashReport__Exception exception = TLCRASH__CRASH_REPORT__EXCEPTION__INIT;
  withException.report.exception = &exception;
  exception.reason = const_cast<char*>("r");
  EXPECT_EQ(errorOf(withException.file()), "Crash report is missing exception name field");
  exception.name = const_cast<char*>("n");
  exception.reason = nullptr;
  EXPECT_EQ(errorOf(withException.file()), "Crash report is missing exception reason field");
}

TEST(CrashReportReader, ReportUuidMustHave16Bytes) {
  CraftedReport crafted;
  Tlcrash__CrashReport__ReportInfo info = TLCRASH__CRASH_REPORT__REPORT_INFO__INIT;
  uint8_t bytes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  info.has_uuid = true;
  info.uuid = {15, bytes};
  crafted.report.report_info = &info;
  EXPECT_EQ(errorOf(crafted.file()), "Report UUID value is not a standard 16 bytes");

  info.uuid = {16, bytes};
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  ASSERT_TRUE(report.value().uuidRef().has_value());
  EXPECT_EQ(uuidString(*report.value().uuidRef()), "00010203-0405-0607-0809-0A0B0C0D0E0F");

  CraftedReport without;
  auto plain = TLCrashReport::initWithData(without.file());
  ASSERT_TRUE(plain.ok());
  EXPECT_FALSE(plain.value().uuidRef().has_value());
}

TEST(CrashReportReader, MachExceptionCodesUpTo255) {
  CraftedReport crafted;
  Tlcrash__CrashReport__Signal__MachException mach = TLCRASH__CRASH_REPORT__SIGNAL__MACH_EXCEPTION__INIT;
  std::vector<uint64_t> codes(256);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = i;
  mach.has_type = true;
  mach.type = 1;
  mach.codes = codes.data();
  mach.n_codes = 255;
  crafted.signal.mach_exception = &mach;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  ASSERT_TRUE(report.value().machExceptionInfo().has_value());
  EXPECT_EQ(report.value().machExceptionInfo()->codes().size(), 255u);
  EXPECT_EQ(report.value().machExceptionInfo()->codes()[254], 254u);
  mach.n_codes = 256;
  EXPECT_EQ(errorOf(crafted.file()), "Crash report includes too many Mach Exception codes");
}

TEST(CrashReportReader, AcceptsAnyFieldOrderAndSkipsUnknownFields) {
  // Hand-made: signal first, an unknown varint field (100) and an unknown length-delimited field
  // (101), then images, threads (with an unknown field inside), application and system info.
  Bytes file = header();
  auto add = [&](std::initializer_list<uint8_t> bytes) { file.insert(file.end(), bytes); };
  add({0x32, 0x0C, 0x0A, 0x03, 'S', 'I', 'G', 0x12, 0x03, 'C', 'O', 'D', 0x18, 0x07});  // signal {name, code, address 7}
  add({0xA0, 0x06, 0x2A});                                                             // field 100 = 42
  add({0xAA, 0x06, 0x02, 0xFF, 0xFF});                                                 // field 101 = 2 bytes
  add({0x22, 0x07, 0x1A, 0x01, 'x', 0x10, 0x10, 0x08, 0x01});                          // image {name x, size 16, base 1}
  add({0x1A, 0x08, 0x18, 0x01, 0x12, 0x02, 0x18, 0x05, 0x78, 0x09});                   // thread {crashed, frame pc 5, field 15}
  add({0x12, 0x06, 0x12, 0x01, '2', 0x0A, 0x01, 'a'});                                 // application {version 2, id a}
  add({0x0A, 0x05, 0x12, 0x03, '1', '.', '2'});                                        // system {os_version 1.2}
  auto report = TLCrashReport::initWithData(file);
  ASSERT_TRUE(report.ok()) << report.error().description;
  const auto& value = report.value();
  EXPECT_EQ(value.signalInfo().name(), "SIG");
  EXPECT_EQ(value.signalInfo().address(), 7u);
  EXPECT_EQ(value.applicationInfo().applicationIdentifier(), "a");
  EXPECT_EQ(value.systemInfo().operatingSystemVersion(), "1.2");
  EXPECT_EQ(value.systemInfo().operatingSystem(), TLCrashReportOperatingSystemUnknown);  // schema default
  EXPECT_EQ(value.systemInfo().architecture(), TLCrashReportArchitectureUnknown);
  EXPECT_FALSE(value.systemInfo().timestamp().has_value());
  ASSERT_EQ(value.threads().size(), 1u);
  EXPECT_TRUE(value.threads()[0].crashed());
  ASSERT_EQ(value.threads()[0].stackFrames().size(), 1u);
  EXPECT_EQ(value.threads()[0].stackFrames()[0].instructionPointer(), 5u);
  EXPECT_EQ(value.images()[0].imageBaseAddress(), 1u);
  EXPECT_FALSE(value.images()[0].codeType().has_value());
  EXPECT_FALSE(value.hasMachineInfo());
  EXPECT_FALSE(value.hasProcessInfo());
  EXPECT_FALSE(value.hasExceptionInfo());
}

TEST(CrashReportReader, AcceptsTheMacOSOperatingSystemValue) {
  CraftedReport crafted;
  crafted.system.has_operating_system = true;
  crafted.system.operating_system = TLCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__MAC_OS_X;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  EXPECT_EQ(report.value().systemInfo().operatingSystem(), TLCrashReportOperatingSystemMacOSX);
}

TEST(CrashReportReader, KeepsEnumerationNumbersOutsideTheSchema) {
  // system info {os_version "1", operating_system 99, architecture 0xFFFFFFF0 as a 10-byte varint}
  Bytes file = header();
  file.insert(file.end(), {0x0A, 0x10, 0x12, 0x01, '1', 0x08, 0x63, 0x18, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});
  file.insert(file.end(), {0x12, 0x06, 0x0A, 0x01, 'a', 0x12, 0x01, '2'});                     // application
  file.insert(file.end(), {0x1A, 0x02, 0x18, 0x01});                                             // thread
  file.insert(file.end(), {0x22, 0x07, 0x1A, 0x01, 'x', 0x2A, 0x02, 0x08, 0x07});                // image {name, code_type {encoding 7}}
  file.insert(file.end(), {0x32, 0x06, 0x0A, 0x01, 'S', 0x12, 0x01, 'C'});                     // signal
  auto report = TLCrashReport::initWithData(file);
  ASSERT_TRUE(report.ok()) << report.error().description;
  EXPECT_EQ(report.value().systemInfo().operatingSystem(), 99);
  EXPECT_EQ(report.value().systemInfo().architecture(), -16);
  EXPECT_EQ(report.value().images()[0].codeType()->typeEncoding(), 7);
}

TEST(CrashReportReader, ImageUuidBecomesLowerCaseHex) {
  CraftedReport crafted;
  uint8_t bytes[16];
  for (uint8_t i = 0; i < 16; ++i) bytes[i] = i;
  crafted.image.has_uuid = true;
  crafted.image.uuid = {16, bytes};
  Tlcrash__CrashReport__Processor processor = TLCRASH__CRASH_REPORT__PROCESSOR__INIT;
  processor.has_encoding = true;
  processor.encoding = TLCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
  processor.has_type = processor.has_subtype = true;
  processor.type = 0x01000007;
  processor.subtype = 3;
  crafted.image.code_type = &processor;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  const auto& image = report.value().images()[0];
  EXPECT_TRUE(image.hasImageUUID());
  EXPECT_EQ(image.imageUUID(), "000102030405060708090a0b0c0d0e0f");
  ASSERT_TRUE(image.codeType().has_value());
  EXPECT_EQ(image.codeType()->typeEncoding(), TLCrashReportProcessorTypeEncodingMach);
  EXPECT_EQ(image.codeType()->type(), 0x01000007u);

  CraftedReport without;
  auto plain = TLCrashReport::initWithData(without.file());
  ASSERT_TRUE(plain.ok());
  EXPECT_FALSE(plain.value().images()[0].hasImageUUID());
  EXPECT_FALSE(plain.value().images()[0].imageUUID().has_value());
}

TEST(CrashReportReader, ImageForAddressUsesHalfOpenRangesInFileOrder) {
  CraftedReport crafted;
  Tlcrash__CrashReport__BinaryImage second = TLCRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
  second.has_base_address = second.has_size = true;
  second.base_address = 0x400800;
  second.size = 0x1000;
  second.name = const_cast<char*>("/second");
  Tlcrash__CrashReport__BinaryImage top = TLCRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
  top.has_base_address = top.has_size = true;
  top.base_address = UINT64_MAX - 0x10;
  top.size = 0x100;  // runs past the end of the address space
  top.name = const_cast<char*>("/top");
  Tlcrash__CrashReport__BinaryImage* list[] = {&crafted.image, &second, &top};
  crafted.report.binary_images = list;
  crafted.report.n_binary_images = 3;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  const auto& value = report.value();
  EXPECT_EQ(value.imageForAddress(0x400000)->imageName(), "/usr/bin/app");
  EXPECT_EQ(value.imageForAddress(0x400900)->imageName(), "/usr/bin/app");  // overlap: first wins
  EXPECT_EQ(value.imageForAddress(0x401000)->imageName(), "/second");        // end of the first is outside it
  EXPECT_EQ(value.imageForAddress(0x401800), nullptr);
  EXPECT_EQ(value.imageForAddress(0x3FFFFF), nullptr);
  EXPECT_EQ(value.imageForAddress(UINT64_MAX)->imageName(), "/top");
  EXPECT_EQ(value.imageForAddress(5), nullptr);
}

TEST(CrashReportReader, DatesAndOptionalValues) {
  CraftedReport crafted;
  crafted.system.timestamp = 0;
  Tlcrash__CrashReport__ProcessInfo process = TLCRASH__CRASH_REPORT__PROCESS_INFO__INIT;
  process.has_start_time = true;
  process.start_time = 0;
  process.has_process_id = true;
  process.process_id = 77;
  crafted.report.process_info = &process;
  Tlcrash__CrashReport__Exception exception = TLCRASH__CRASH_REPORT__EXCEPTION__INIT;
  exception.name = const_cast<char*>("E");
  exception.reason = const_cast<char*>("R");
  crafted.report.exception = &exception;
  crafted.thread.n_frames = 0;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  const auto& value = report.value();
  EXPECT_FALSE(value.systemInfo().timestamp().has_value());
  ASSERT_TRUE(value.hasProcessInfo());
  ASSERT_TRUE(value.processInfo()->processStartTime().has_value());
  EXPECT_EQ(value.processInfo()->processStartTime()->time_since_epoch().count(), 0);
  EXPECT_EQ(value.processInfo()->processID(), 77u);
  EXPECT_FALSE(value.processInfo()->processName().has_value());
  ASSERT_TRUE(value.hasExceptionInfo());
  EXPECT_FALSE(value.exceptionInfo()->stackFrames().has_value());  // absent, not empty
  EXPECT_TRUE(value.threads()[0].stackFrames().empty());
}

TEST(CrashReportReader, SymbolsAreReadAndANamelessOneIsDropped) {
  CraftedReport crafted;
  Tlcrash__CrashReport__Symbol symbol = TLCRASH__CRASH_REPORT__SYMBOL__INIT;
  symbol.name = const_cast<char*>("main");
  symbol.has_start_address = true;
  symbol.start_address = 0x400ff0;
  crafted.frame.symbol = &symbol;
  auto report = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(report.ok());
  const auto& info = report.value().threads()[0].stackFrames()[0].symbolInfo();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->symbolName(), "main");
  EXPECT_EQ(info->startAddress(), 0x400ff0u);
  EXPECT_EQ(info->endAddress(), 0u);

  symbol.name = nullptr;
  auto nameless = TLCrashReport::initWithData(crafted.file());
  ASSERT_TRUE(nameless.ok());
  EXPECT_FALSE(nameless.value().threads()[0].stackFrames()[0].symbolInfo().has_value());
}

TEST(CrashReportReader, FileCutBeforeTheSignalIsRejected) {
  CraftedReport crafted;
  Bytes file = crafted.file();
  // protobuf-c packs fields in number order, so the signal (6) comes after threads and images.
  crafted.report.signal = nullptr;
  Bytes withoutSignal = crafted.file();
  ASSERT_LT(withoutSignal.size(), file.size());
  EXPECT_EQ(errorOf(withoutSignal), "Crash report is missing Signal Information section");
}

}  // namespace
}  // namespace ml::crash

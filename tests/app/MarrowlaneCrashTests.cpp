// Crash reporting of the application end to end: marrowlane (offscreen, in sandboxed XDG folders,
// sending to a loopback server) dies of a segmentation fault, or a process that starts the
// telemetry client as the application does dies of the crashes service's test crash; the report
// it leaves decodes, and the next launch of marrowlane sends exactly one error log that carries
// that report's threads and images, then removes the report.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "InjectedFault.h"
#include "TelemetryFixture.h"
#include "beacon/core/TLConstants.h"
#include "beacon/crashes/Util/TLCrashesUtil.h"
#include "crashreporter/CrashReport.h"
#include "crashreporter/capture/TLCrashReporter.h"
#include "platform/foundation/AppFolders.h"
#include "platform/foundation/AppIdentity.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"

namespace ml::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using nlohmann::json;

// The reporter's folder of the cache folder, through the fixed report name of earlier versions;
// each process now leaves its own report there.
fs::path pendingReportPath() {
  return foundation::AppFolders::cache() / crash::kCrashReporterFolderName / foundation::AppIdentity::kIdentifier /
         crash::kPendingReportName;
}

// Every complete pending report in the reporter's folder, whichever process left it.
std::vector<fs::path> pendingReports() {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(pendingReportPath().parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("live_report") && name.ends_with(".tlcrash") && entry.is_regular_file()) {
      found.push_back(entry.path());
    }
  }
  return found;
}

// Where the crashes service keeps the reports it has taken over, until their logs are sent.
fs::path storedReportsFolder() {
  return foundation::AppFolders::data() / std::string(beacon::kTLReverseDomainPrefix) / beacon::TLCrashesUtil::kCrashesDir;
}

// The stored reports, without the folder's backup-exclusion tag and the service's side files.
std::vector<fs::path> storedReports() {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(storedReportsFolder(), error)) {
    if (entry.path().filename() != "CACHEDIR.TAG" && entry.path().extension() != ".analyzer") files.push_back(entry.path());
  }
  return files;
}

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint64_t hexNumber(const json& text) { return std::stoull(text.get<std::string>(), nullptr, 16); }

std::vector<ReceivedLog> errorLogs(const LocalHttpServer& server) {
  std::vector<ReceivedLog> found;
  for (auto& log : receivedLogs(server)) {
    const std::string type = log.log.value("type", "");
    if (type == "appleError" || type == "handledError") found.push_back(std::move(log));
  }
  return found;
}

// The report's crashed thread; exactly one thread is marked crashed.
const crash::TLCrashReportThreadInfo& crashedThread(const crash::TLCrashReport& report) {
  static const crash::TLCrashReportThreadInfo none(-1, {}, false, {});
  const crash::TLCrashReportThreadInfo* crashed = &none;
  int count = 0;
  for (const auto& thread : report.threads()) {
    if (thread.crashed()) {
      crashed = &thread;
      ++count;
    }
  }
  EXPECT_EQ(count, 1);
  return *crashed;
}

// The crash log against the report it was made from: identity and signal, every thread with
// every frame address, and binaries that are the report's images (each image a crashed frame lies
// in among them).
void expectLogCarriesReport(const json& log, const crash::TLCrashReport& report) {
  ASSERT_TRUE(report.uuidRef().has_value());
  EXPECT_EQ(log.value("id", ""), crash::uuidString(*report.uuidRef()));
  EXPECT_TRUE(log.value("fatal", false));
  ASSERT_TRUE(report.processInfo().has_value());
  EXPECT_EQ(log.value("processId", std::int64_t{-1}), static_cast<std::int64_t>(report.processInfo()->processID()));
  EXPECT_EQ(log.value("osExceptionType", ""), report.signalInfo().name());

  const auto& crashed = crashedThread(report);
  EXPECT_EQ(log.value("errorThreadId", std::int64_t{-1}), crashed.threadNumber());

  ASSERT_TRUE(log.contains("threads"));
  const json& threads = log["threads"];
  ASSERT_EQ(threads.size(), report.threads().size());
  for (std::size_t i = 0; i < threads.size(); ++i) {
    const auto& expected = report.threads()[i];
    SCOPED_TRACE("thread " + std::to_string(expected.threadNumber()));
    EXPECT_EQ(threads[i].value("id", std::int64_t{-1}), expected.threadNumber());
    const json frames = threads[i].value("frames", json::array());
    ASSERT_EQ(frames.size(), expected.stackFrames().size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
      EXPECT_EQ(hexNumber(frames[f]["address"]), expected.stackFrames()[f].instructionPointer()) << "frame " << f;
    }
  }

  ASSERT_TRUE(log.contains("binaries"));
  std::set<std::uint64_t> starts;
  for (const auto& binary : log["binaries"]) {
    const std::uint64_t start = hexNumber(binary["startAddress"]);
    EXPECT_TRUE(starts.insert(start).second) << "listed twice: " << binary.dump();
    const crash::TLCrashReportBinaryImageInfo* image = nullptr;
    for (const auto& candidate : report.images()) {
      if (candidate.imageBaseAddress() == start) image = &candidate;
    }
    ASSERT_NE(image, nullptr) << "no image of the report starts there: " << binary.dump();
    EXPECT_EQ(hexNumber(binary["endAddress"]), image->imageBaseAddress() + std::max<std::uint64_t>(image->imageSize(), 1) - 1);
    EXPECT_EQ(binary.value("name", ""), fs::path(image->imageName()).filename().string());
    if (image->hasImageUUID()) {
      EXPECT_EQ(binary.value("id", ""), *image->imageUUID());
    }
  }
  for (const auto& frame : crashed.stackFrames()) {
    if (const auto* image = report.imageForAddress(frame.instructionPointer())) {
      EXPECT_TRUE(starts.contains(image->imageBaseAddress())) << "missing binary " << image->imageName();
    }
  }
}

struct CrashScenario {
  std::string name;
  int signal;
  std::string signalName;
  // Starts the crashing process in the sandbox and brings it down; returns its wait status.
  std::function<std::optional<int>(const TelemetrySandbox&, const LocalHttpServer&)> crash;
  // What is particular to this crash's report.
  std::function<void(const crash::TLCrashReport&)> expectReport;
};

// Sanitizer builds: the crash reporter, not the sanitizer, is to handle the children's faults
// (the children inherit the environment). Put back when the test ends.
class CrashReporterHandlesFaults {
 public:
  CrashReporterHandlesFaults() {
    if (const char* previous = std::getenv("ASAN_OPTIONS")) saved_ = previous;
    ::setenv("ASAN_OPTIONS",
             "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:allow_user_segv_handler=1:"
             "detect_leaks=0",
             1);
  }
  ~CrashReporterHandlesFaults() {
    if (saved_) ::setenv("ASAN_OPTIONS", saved_->c_str(), 1);
    else ::unsetenv("ASAN_OPTIONS");
  }
  CrashReporterHandlesFaults(const CrashReporterHandlesFaults&) = delete;
  CrashReporterHandlesFaults& operator=(const CrashReporterHandlesFaults&) = delete;

 private:
  std::optional<std::string> saved_;
};

TEST(MarrowlaneCrashReporting, ACrashLeavesAReportThatTheNextLaunchSendsAsOneErrorLogAndThenRemoves) {
  const CrashReporterHandlesFaults faults;
  std::optional<pid_t> crashedPid;
  std::uint64_t interruptedAt = 0;
  std::string notRun;
  // The start-service log names the crashes service once the client has started it (and with it
  // the crash reporter).
  auto crashesStarted = [](const LocalHttpServer& server) {
    for (const auto& log : logsOfType(receivedLogs(server), "startService")) {
      for (const auto& service : log.log.value("services", json::array())) {
        if (service == "Crashes") return true;
      }
    }
    return false;
  };
  const std::vector<CrashScenario> scenarios = {
      {"marrowlane reads through a null pointer", SIGSEGV, "SIGSEGV",
       [&](const TelemetrySandbox& sandbox, const LocalHttpServer& server) -> std::optional<int> {
         ChildProcess app(ML_MARROWLANE_BINARY, {}, sandbox.childEnvironment(server.baseUrl()),
                          sandbox.root() / "crashing.out");
         crashedPid = app.pid();
         if (!waitUntil([&] { return crashesStarted(server); }, 30s)) {
           ADD_FAILURE() << "the crashes service did not start\n" << app.output();
           return std::nullopt;
         }
         // The main thread, idle in its event loop, calls strlen(nullptr).
         // The C library's (RTLD_NEXT: a sanitizer build's own strlen sits in this executable).
         const auto strlenInApp = sameFunctionInChild(app.pid(), ::dlsym(RTLD_NEXT, "strlen"));
         if (!strlenInApp) {
           ADD_FAILURE() << "strlen not found in the application";
           return std::nullopt;
         }
         const InjectedCall call = callOnMainThread(app.pid(), *strlenInApp, 0);
         if (call.failure && call.failure->step == "PTRACE_SEIZE" && call.failure->error == EPERM) {
           notRun = "marrowlane's segmentation fault: tracing a child (ptrace) is not permitted here";
           return std::nullopt;
         }
         if (call.failure) {
           ADD_FAILURE() << call.failure->step << ": " << std::strerror(call.failure->error);
           return std::nullopt;
         }
         interruptedAt = call.returnAddress;
         auto status = app.wait(30s);
         if (!status || !WIFSIGNALED(*status)) ADD_FAILURE() << app.output();
         return status;
       },
       [&](const crash::TLCrashReport& report) {
         // The processor's own account (a read of the first page), and the stack of the call: the
         // fault in strlen, returning to where the event loop was waiting, and on through the
         // application's own code.
         EXPECT_EQ(report.signalInfo().code(), "SEGV_MAPERR");
         EXPECT_LT(report.signalInfo().address(), 4096u);
         const auto& frames = crashedThread(report).stackFrames();
         ASSERT_GE(frames.size(), 3u);
         const auto* libc = report.imageForAddress(frames[0].instructionPointer());
         ASSERT_NE(libc, nullptr);
         EXPECT_TRUE(libc->imageName().find("libc.so") != std::string::npos) << libc->imageName();
         EXPECT_EQ(frames[1].instructionPointer(), interruptedAt);
         bool throughTheApplication = false;
         for (const auto& frame : frames) {
           const auto* image = report.imageForAddress(frame.instructionPointer());
           throughTheApplication = throughTheApplication || (image && fs::path(image->imageName()).filename() == "marrowlane");
         }
         EXPECT_TRUE(throughTheApplication);
       }},
      {"marrowlane is sent a fatal signal", SIGBUS, "SIGBUS",
       [&](const TelemetrySandbox& sandbox, const LocalHttpServer& server) -> std::optional<int> {
         ChildProcess app(ML_MARROWLANE_BINARY, {}, sandbox.childEnvironment(server.baseUrl()),
                          sandbox.root() / "killed.out");
         crashedPid = app.pid();
         if (!waitUntil([&] { return crashesStarted(server); }, 30s)) {
           ADD_FAILURE() << "the crashes service did not start\n" << app.output();
           return std::nullopt;
         }
         ::kill(app.pid(), SIGBUS);
         auto status = app.wait(30s);
         if (!status || !WIFSIGNALED(*status)) ADD_FAILURE() << app.output();
         return status;
       },
       [](const crash::TLCrashReport& report) {
         // Sent, not raised by the processor: no fault address, and no exception.
         EXPECT_EQ(report.signalInfo().address(), 0u);
         EXPECT_FALSE(report.machExceptionInfo().has_value());
       }},
      {"the crashes service's test crash in a process started like the application", SIGILL, "SIGILL",
       [&](const TelemetrySandbox& sandbox, const LocalHttpServer& server) -> std::optional<int> {
         ChildProcess child(ML_TEST_CRASH_CHILD, {kAppSecret}, sandbox.childEnvironment(server.baseUrl()),
                            sandbox.root() / "test-crash.out");
         crashedPid = child.pid();
         auto status = child.wait(30s);
         if (!status || !WIFSIGNALED(*status)) ADD_FAILURE() << child.output();
         return status;
       },
       [](const crash::TLCrashReport& report) {
         // An illegal instruction of the child's own code: the first frame is the trap itself.
         const auto& frames = crashedThread(report).stackFrames();
         ASSERT_FALSE(frames.empty());
         EXPECT_EQ(frames[0].instructionPointer(), report.signalInfo().address());
         const auto* image = report.imageForAddress(frames[0].instructionPointer());
         ASSERT_NE(image, nullptr);
         EXPECT_EQ(fs::path(image->imageName()).filename(), fs::path(ML_TEST_CRASH_CHILD).filename());
       }},
  };

  for (const auto& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    TelemetrySandbox sandbox;
    LocalHttpServer server;

    crashedPid.reset();
    auto status = scenario.crash(sandbox, server);
    if (!notRun.empty() && !status) continue;
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), scenario.signal);

    const auto left = pendingReports();
    ASSERT_EQ(left.size(), 1u) << "one report of the one dead process";
    const fs::path pending = left[0];
    const auto bytes = fileBytes(pending);
    auto decoded = crash::TLCrashReport::initWithData(bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    const crash::TLCrashReport& report = decoded.value();
    EXPECT_EQ(report.signalInfo().name(), scenario.signalName);
    ASSERT_TRUE(report.processInfo().has_value());
    EXPECT_EQ(report.processInfo()->processID(), static_cast<std::uint64_t>(*crashedPid));
    crashedThread(report);  // exactly one
    scenario.expectReport(report);

    // The next launch takes the report over, sends its log and lets the report go.
    ChildProcess next(ML_MARROWLANE_BINARY, {}, sandbox.childEnvironment(server.baseUrl()), sandbox.root() / "next.out");
    ASSERT_TRUE(waitUntil([&] { return !errorLogs(server).empty() && !fs::exists(pending) && storedReports().empty(); },
                          60s))
        << "error logs " << errorLogs(server).size() << ", pending " << fs::exists(pending) << ", stored "
        << storedReports().size() << "\n"
        << next.output();
    next.signal(SIGTERM);
    auto exited = next.wait(30s);
    ASSERT_TRUE(exited) << "still running after SIGTERM";
    EXPECT_TRUE(WIFEXITED(*exited) && WEXITSTATUS(*exited) == 0) << next.output();

    const auto sent = errorLogs(server);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].log.value("type", ""), "appleError");
    EXPECT_TRUE(sent[0].request.target.starts_with("/logs?")) << sent[0].request.target;
    expectLogCarriesReport(sent[0].log, report);
    EXPECT_FALSE(fs::exists(pending));
    EXPECT_TRUE(storedReports().empty());
  }
  if (!notRun.empty()) GTEST_SKIP() << "not run: " << notRun;
}

// The text of every file of the application's full log so far.
std::string fullLogText() {
  std::string text;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(foundation::AppFolders::logs() / "full", error)) {
    const auto bytes = fileBytes(entry.path());
    text.append(bytes.begin(), bytes.end());
  }
  return text;
}

// Two instances of marrowlane on one data folder (each with a runtime folder of its own, so that
// neither hands over to the other, as with one home used from two machines) both die; each leaves
// its own report, and the next launch sends both, each once. The crash reporter's warnings are
// seen: the first instance moves aside a file standing where its queued-reports folder goes and
// says so, in the application's log when it is on by then, else on standard error.
TEST(MarrowlaneCrashReporting, TwoInstancesOnOneDataFolderThatBothCrashAreBothReportedOnce) {
  const CrashReporterHandlesFaults faults;
  TelemetrySandbox sandbox;
  LocalHttpServer server;
  sandbox.enableDebugLogs();
  const fs::path queued = pendingReportPath().parent_path() / crash::kQueuedReportsName;
  fs::create_directories(queued.parent_path());
  std::ofstream(queued) << "in the way";
  auto crashesStarted = [&](std::size_t instances) {
    std::size_t started = 0;
    for (const auto& log : logsOfType(receivedLogs(server), "startService")) {
      for (const auto& service : log.log.value("services", json::array())) {
        if (service == "Crashes") ++started;
      }
    }
    return started >= instances;
  };
  auto environment = sandbox.childEnvironment(server.baseUrl());
  ChildProcess first(ML_MARROWLANE_BINARY, {}, environment, sandbox.root() / "first.out");
  ASSERT_TRUE(waitUntil([&] { return crashesStarted(1); }, 30s)) << first.output();
  EXPECT_TRUE(fs::is_directory(queued));
  EXPECT_TRUE(waitUntil(
      [&] {
        return fullLogText().find("moved it aside") != std::string::npos ||
               first.output().find("moved it aside") != std::string::npos;
      },
      30s))
      << first.output();
  const fs::path otherRuntime = sandbox.root() / "other-runtime";
  fs::create_directories(otherRuntime);
  fs::permissions(otherRuntime, fs::perms::owner_all);
  environment["XDG_RUNTIME_DIR"] = otherRuntime.string();
  ChildProcess second(ML_MARROWLANE_BINARY, {}, environment, sandbox.root() / "second.out");
  ASSERT_TRUE(waitUntil([&] { return crashesStarted(2); }, 30s)) << second.output();

  std::set<std::int64_t> crashed;
  for (ChildProcess* instance : {&first, &second}) {
    instance->signal(SIGBUS);
    const auto status = instance->wait(30s);
    ASSERT_TRUE(status && WIFSIGNALED(*status)) << instance->output();
    crashed.insert(instance->pid());
  }
  EXPECT_EQ(pendingReports().size(), 2u);

  ChildProcess next(ML_MARROWLANE_BINARY, {}, sandbox.childEnvironment(server.baseUrl()), sandbox.root() / "next.out");
  ASSERT_TRUE(waitUntil([&] { return errorLogs(server).size() >= 2 && pendingReports().empty() && storedReports().empty(); },
                        60s))
      << "error logs " << errorLogs(server).size() << ", pending " << pendingReports().size() << ", stored "
      << storedReports().size() << "\n"
      << next.output();
  next.signal(SIGTERM);
  ASSERT_TRUE(next.wait(30s)) << "still running after SIGTERM";

  const auto sent = errorLogs(server);
  ASSERT_EQ(sent.size(), 2u);
  std::set<std::int64_t> reported;
  for (const auto& log : sent) reported.insert(log.log.value("processId", std::int64_t{-1}));
  EXPECT_EQ(reported, crashed);
}

}  // namespace
}  // namespace ml::test

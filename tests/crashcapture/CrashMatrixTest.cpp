// Every kind of crash in both capture modes, end to end: a helper program enables the reporter
// and crashes (a fault, an abort, a stack overflow on the main thread's side threads, also while
// one ends, with threads parked), then the report it left is decoded and checked: exactly one crashed thread,
// the crashing function in its innermost frames, and every name it carries equal to what
// `addr2line -f` says for the same image offset (offset - 1 for frames that are return
// addresses): a frame is named as a debugger names it, or not at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "CrashScenarios.h"
#include "CrashTestSupport.h"
#include "ReportChecks.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"

namespace ml::crash::test {
namespace {

using ml::test::ChildOutcome;

struct MatrixCrash {
  const char* name;      // the helper's argument
  int signal;            // the child ends with it
  const char* function;  // must be among the crashed thread's innermost frames
  size_t otherThreads;   // at least this many threads besides the crashed one
};

const MatrixCrash kCrashes[] = {
    {"segv", SIGSEGV, "crashcapture_null_read", 0},
    {"bus", SIGBUS, "crashcapture_bus_error", 0},
    {"fpe", SIGFPE, "crashcapture_divide", 0},
    {"ill", SIGILL, "crashcapture_illegal_instruction", 0},
    {"trap", SIGTRAP, "crashcapture_breakpoint", 0},
    {"abort", SIGABRT, "crashcapture_abort", 0},
    {"parked", SIGSEGV, "crashcapture_null_read", 8},
    {"overflow-early-thread", SIGSEGV, "crashcapture_overflow", 1},
    {"overflow-thread", SIGSEGV, "crashcapture_overflow", 1},
#ifdef ML_WITH_QT
    {"overflow-qthread", SIGSEGV, "crashcapture_overflow", 1},
#endif
    // During teardown: exit has destroyed every static object but one.
    {"static-destructor", SIGSEGV, "crashcapture_null_read", 0},
    {"thread-after-main", SIGSEGV, "crashcapture_null_read", 1},
    {"exit-while-faulting", SIGSEGV, "crashcapture_null_read", 1},
    {"atexit", SIGSEGV, "crashcapture_null_read", 0},
    {"overflow-thread-teardown", SIGSEGV, "crashcapture_overflow", 1},
};

// How deep into the crashed thread the crashing function must show (abort runs through a few
// C library frames first).
constexpr size_t kInnermostFrames = 6;

// Names the case in test output instead of dumping its bytes.
void PrintTo(const MatrixCrash& crash, std::ostream* out) { *out << crash.name; }

using MatrixCase = std::tuple<MatrixCrash, const char*>;

// addr2line's function name for each offset of `image` (one run per image); "??" where it has none.
std::vector<std::string> addr2lineNames(const std::string& image, const std::vector<uint64_t>& offsets) {
  std::string command = "addr2line -f -e '" + image + "'";
  for (uint64_t offset : offsets) {
    char text[32];
    std::snprintf(text, sizeof(text), " 0x%" PRIx64, offset);
    command += text;
  }
  std::vector<std::string> names;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[4096];
  for (bool name = true; std::fgets(line, sizeof(line), pipe) != nullptr; name = !name) {
    if (!name) continue;  // the file:line line
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    names.push_back(text);
  }
  ::pclose(pipe);
  return names;
}

std::string firstLineOf(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char line[4096];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) text += line;
  ::pclose(pipe);
  return text;
}

// Start offsets of the defined symbols of `image`, from the file a debugger reads them from: the
// detached debug file found by build-id when there is one, else the image itself.
std::map<std::string, uint64_t> symbolStarts(const std::string& image) {
  std::string file = image;
  const std::string notes = firstLineOf("readelf -n '" + image + "' 2>/dev/null");
  if (size_t at = notes.find("Build ID: "); at != std::string::npos) {
    std::string id = notes.substr(at + 10, notes.find('\n', at) - at - 10);
    const std::string debug = "/usr/lib/debug/.build-id/" + id.substr(0, 2) + "/" + id.substr(2) + ".debug";
    if (::access(debug.c_str(), R_OK) == 0) file = debug;
  }
  std::map<std::string, uint64_t> starts;
  std::istringstream lines(firstLineOf("nm --defined-only '" + file + "' 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) starts.emplace(name, std::stoull(address, nullptr, 16));
  }
  return starts;
}

// The helper's crash in `mode`, run in a child.
ChildOutcome runHelper(const char* helper, const char* crash, const char* mode) {
  return ml::test::runProgram(helper, {crash, mode}, std::chrono::seconds(60));
}

class CrashMatrix : public CrashTest, public testing::WithParamInterface<MatrixCase> {};

TEST_P(CrashMatrix, ReportDecodesWithOneCrashedThreadNamedAsADebuggerNamesIt) {
  const MatrixCrash& crash = std::get<0>(GetParam());
  const char* mode = std::get<1>(GetParam());
  ChildOutcome outcome = runHelper(CRASHCAPTURE_HELPER, crash.name, mode);
  ASSERT_TRUE(outcome.signaled) << outcome.describe();
  EXPECT_EQ(outcome.signal, crash.signal) << outcome.describe();

  const std::vector<std::string> pending = pendingReportPaths();
  EXPECT_EQ(pending.size(), 1u) << "one report per process death";
  struct stat info{};
  // Register values and stack words: for the owner's eyes only.
  if (!pending.empty() && ::stat(pending.front().c_str(), &info) == 0) {
    EXPECT_EQ(info.st_mode & 0777, 0600u);
  }
  std::string why;
  std::optional<TLCrashReport> report = readPendingReport(&why);
  ASSERT_TRUE(report.has_value()) << why << "\n" << outcome.describe();
  // Every walk ends at the outermost frame (_start, a thread's clone entry) by its own unwind rule.
  EXPECT_EQ(outcome.err.find("unsupported DWARF register"), std::string::npos) << outcome.err;
  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_NE(crashed, nullptr) << "exactly one thread is marked crashed";
  EXPECT_GE(report->threads().size(), crash.otherThreads + 1);
  if (crash.otherThreads == 8) {
    EXPECT_EQ(threadsWithFrameIn(*report, "crashcapture_blocked_thread_wait"), 8u);
  }

  const auto& frames = crashed->stackFrames();
  ASSERT_FALSE(frames.empty());
  bool innermost = false;
  for (size_t i = 0; i < frames.size() && i < kInnermostFrames; ++i) {
    // The compiler's local aliases of a function ("f.localalias") name the same code.
    const std::string name = symbolOf(frames[i]);
    innermost |= name == crash.function || name.rfind(std::string(crash.function) + ".", 0) == 0;
  }
  EXPECT_TRUE(innermost) << crash.function << " is not among the first frames; frame 0: " << symbolOf(frames[0]);

  // Every named frame against addr2line, batched per image.
  struct Named {
    size_t frame;
    uint64_t offset;
    uint64_t base;  // the image's load address
  };
  std::map<std::string, std::vector<Named>> byImage;
  size_t named = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!frames[i].symbolInfo().has_value()) continue;
    ++named;
    const uint64_t pc = frames[i].instructionPointer();
    const uint64_t lookup = i == 0 ? pc : pc - 1;
    bool found = false;
    for (const auto& image : report->images()) {
      if (lookup >= image.imageBaseAddress() && lookup - image.imageBaseAddress() < image.imageSize()) {
        byImage[image.imageName()].push_back({i, lookup - image.imageBaseAddress(), image.imageBaseAddress()});
        found = true;
        break;
      }
    }
    EXPECT_TRUE(found) << "named frame " << i << " lies in no listed image";
  }
  EXPECT_GT(named, 0u);
  for (const auto& [image, entries] : byImage) {
    std::vector<uint64_t> offsets;
    for (const Named& entry : entries) offsets.push_back(entry.offset);
    std::vector<std::string> expected = addr2lineNames(image, offsets);
    ASSERT_EQ(expected.size(), entries.size()) << "addr2line failed on " << image;
    std::map<std::string, uint64_t> starts;
    for (size_t k = 0; k < entries.size(); ++k) {
      const auto& frame = frames[entries[k].frame];
      if (symbolOf(frame) == expected[k]) continue;
      // addr2line names from debug information where the image has it: the name there may be
      // another alias of the symbol the report gives. Same start, same function.
      if (starts.empty()) starts = symbolStarts(image);
      auto alias = starts.find(expected[k]);
      const bool sameStart =
          alias != starts.end() && alias->second == frame.symbolInfo()->startAddress() - entries[k].base;
      EXPECT_TRUE(sameStart) << "frame " << entries[k].frame << " at " << image << "+0x" << std::hex
                             << entries[k].offset << " is named " << symbolOf(frame) << ", addr2line says "
                             << expected[k];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachCrashEachMode, CrashMatrix,
                         testing::Combine(testing::ValuesIn(kCrashes), testing::Values("bsd", "mach")),
                         [](const testing::TestParamInfo<MatrixCase>& param) {
                           std::string name =
                               std::string(std::get<0>(param.param).name) + "_" + std::get<1>(param.param);
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

class EachCaptureMode : public CrashTest, public testing::WithParamInterface<const char*> {};

// Two threads fault within the same few instructions, many times over: the first report is the
// one left, whole, however the second thread's crash interleaves with it.
TEST_P(EachCaptureMode, ThreadsFaultingTogetherLeaveOneWholeReport) {
  constexpr int kRuns = 50;
  for (int run = 0; run < kRuns; ++run) {
    purgePendingReports();
    ChildOutcome outcome = runHelper(CRASHCAPTURE_HELPER, "together", GetParam());
    EXPECT_TRUE(outcome.signaled && outcome.signal == SIGSEGV) << "run " << run << ": " << outcome.describe();
    std::string why;
    std::optional<TLCrashReport> report = readPendingReport(&why);
    if (!report) {
      ADD_FAILURE() << "run " << run << ": " << why << "\n" << outcome.describe();
      continue;
    }
    const TLCrashReportThreadInfo* crashed = crashedThread(*report);
    if (crashed == nullptr) {
      ADD_FAILURE() << "run " << run << ": not exactly one crashed thread";
      continue;
    }
    EXPECT_TRUE(hasFrameIn(*crashed, "crashcapture_null_read")) << "run " << run;
  }
}

// A thread faults while main returns, and exit goes on to end the process with status 0 as soon as
// it runs again after the report: the process ends by the fault's signal all the same, every time.
TEST_P(EachCaptureMode, CrashWhileMainReturnsEndsByItsSignal) {
  constexpr int kRuns = 50;
  for (int run = 0; run < kRuns; ++run) {
    purgePendingReports();
    ChildOutcome outcome = runHelper(CRASHCAPTURE_HELPER, "exit-after-report", GetParam());
    EXPECT_TRUE(outcome.signaled && outcome.signal == SIGSEGV) << "run " << run << ": " << outcome.describe();
    std::string why;
    std::optional<TLCrashReport> report = readPendingReport(&why);
    ASSERT_TRUE(report.has_value()) << "run " << run << ": " << why << "\n" << outcome.describe();
    const TLCrashReportThreadInfo* crashed = crashedThread(*report);
    ASSERT_NE(crashed, nullptr) << "run " << run;
    EXPECT_TRUE(hasFrameIn(*crashed, "crashcapture_null_read")) << "run " << run;
  }
}

// A call through a null function pointer faults before the callee could set up a frame: the
// innermost frame is the null pc and the next one the function that made the call, whether or
// not the code keeps frame pointers.
TEST_P(EachCaptureMode, NullCallIsFollowedByItsCaller) {
  for (const char* helper : {CRASHCAPTURE_HELPER_FP, CRASHCAPTURE_HELPER_NOFP}) {
    SCOPED_TRACE(helper);
    purgePendingReports();
    ChildOutcome outcome = runHelper(helper, "null-call", GetParam());
    EXPECT_TRUE(outcome.signaled && outcome.signal == SIGSEGV) << outcome.describe();
    std::string why;
    std::optional<TLCrashReport> report = readPendingReport(&why);
    ASSERT_TRUE(report.has_value()) << why << "\n" << outcome.describe();
    const TLCrashReportThreadInfo* crashed = crashedThread(*report);
    ASSERT_NE(crashed, nullptr);
    const auto& frames = crashed->stackFrames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].instructionPointer(), 0u);
    EXPECT_EQ(symbolOf(frames[1]), "crashcapture_null_call");
    EXPECT_EQ(symbolOf(frames[2]), "main");
  }
}

// The pending reports of the folder: exactly one per process in `pids`, each whole, with one
// crashed thread.
void expectOneWholeReportEach(const std::set<uint64_t>& pids, const std::string& context) {
  const std::vector<std::string> paths = pendingReportPaths();
  EXPECT_EQ(paths.size(), pids.size()) << context;
  std::set<uint64_t> reported;
  for (const std::string& path : paths) {
    std::string why;
    std::optional<TLCrashReport> report = readReportAt(path, &why);
    if (!report) {
      ADD_FAILURE() << context << ": " << why;
      continue;
    }
    EXPECT_NE(crashedThread(*report), nullptr) << context << ": " << path;
    if (report->processInfo().has_value()) reported.insert(report->processInfo()->processID());
  }
  EXPECT_EQ(reported, pids) << context;
}

// The process ids a forked child's report and its parent's must carry.
struct ForkedPids {
  uint64_t parent;
  uint64_t child;
};

// A process that forked after enabling (its child inherits the report names, the unnamed file and,
// in the exception-server mode, a server whose thread stayed behind) and whose child crashes
// before it does: one whole report each, each the process's own (process id, parent, start, UUID).
void expectForkedChildAndParentReports(const ForkedPids& pids) {
  std::map<uint64_t, TLCrashReport> byPid;
  for (const std::string& path : pendingReportPaths()) {
    std::string why;
    std::optional<TLCrashReport> report = readReportAt(path, &why);
    ASSERT_TRUE(report.has_value()) << why;
    ASSERT_TRUE(report->processInfo().has_value()) << path;
    EXPECT_NE(crashedThread(*report), nullptr) << path;
    const uint64_t pid = report->processInfo()->processID();
    EXPECT_TRUE(byPid.emplace(pid, *report).second) << "two reports of process " << pid;
    // Under a name of its own: "live_report.<pid in hex>-<random>.tlcrash".
    std::ostringstream prefix;
    prefix << "live_report." << std::hex << pid << "-";
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind(prefix.str(), 0), 0u) << path;
  }
  ASSERT_EQ(byPid.size(), 2u) << "the child's report and the parent's";
  ASSERT_TRUE(byPid.count(pids.child) == 1 && byPid.count(pids.parent) == 1)
      << "reports of " << byPid.begin()->first << " and " << byPid.rbegin()->first << ", expected " << pids.child
      << " and " << pids.parent;
  const TLCrashReport& child = byPid.at(pids.child);
  const TLCrashReport& parent = byPid.at(pids.parent);
  EXPECT_EQ(child.processInfo()->parentProcessID(), pids.parent);
  EXPECT_EQ(parent.processInfo()->parentProcessID(), static_cast<uint64_t>(::getpid()));
  EXPECT_EQ(child.processInfo()->parentProcessName(), parent.processInfo()->processName());
  EXPECT_EQ(child.processInfo()->processPath(), parent.processInfo()->processPath());
  ASSERT_TRUE(child.uuidRef().has_value() && parent.uuidRef().has_value());
  EXPECT_NE(*child.uuidRef(), *parent.uuidRef()) << "a report UUID of its own";
  ASSERT_TRUE(child.processInfo()->processStartTime() && parent.processInfo()->processStartTime());
  EXPECT_GE(*child.processInfo()->processStartTime(), *parent.processInfo()->processStartTime());
  EXPECT_TRUE(hasFrameIn(*crashedThread(child), "crashcapture_null_read"));
  EXPECT_TRUE(hasFrameIn(*crashedThread(parent), "crashcapture_null_read"));
}

// Two processes on one report folder (two instances, or two machines over one network home):
// crashing one after the other and at the same instant, each leaves its own whole report; so do a
// process and the child it forked after enabling, which inherits its report names and file.
TEST_P(EachCaptureMode, TwoProcessesOnOneFolderEachLeaveTheirReport) {
  using namespace std::chrono_literals;
  purgePendingReports();
  std::set<uint64_t> pids;
  for (int i = 0; i < 2; ++i) {
    ml::test::ChildProcess helper(CRASHCAPTURE_HELPER, {"segv", GetParam()});
    pids.insert(static_cast<uint64_t>(helper.pid()));
    std::optional<int> status = helper.wait(60s);
    EXPECT_TRUE(status && WIFSIGNALED(*status)) << helper.output();
  }
  expectOneWholeReportEach(pids, "one after the other");

  constexpr int kRuns = 10;
  for (int run = 0; run < kRuns; ++run) {
    purgePendingReports();
    const std::string go = (sandbox_->root() / ("go-" + std::to_string(run))).string();
    const std::map<std::string, std::string> environment{{"CRASHCAPTURE_GO", go}};
    ml::test::ChildProcess first(CRASHCAPTURE_HELPER, {"segv-on-go", GetParam()}, environment);
    ml::test::ChildProcess second(CRASHCAPTURE_HELPER, {"segv-on-go", GetParam()}, environment);
    ASSERT_TRUE(ml::test::waitUntil([&] {
      return first.output().find("ready") != std::string::npos && second.output().find("ready") != std::string::npos;
    })) << first.output() << second.output();
    std::ofstream(go).put('\n');
    for (ml::test::ChildProcess* helper : {&first, &second}) {
      std::optional<int> status = helper->wait(60s);
      EXPECT_TRUE(status && WIFSIGNALED(*status)) << helper->output();
    }
    expectOneWholeReportEach({static_cast<uint64_t>(first.pid()), static_cast<uint64_t>(second.pid())},
                             "at the same instant, run " + std::to_string(run));
  }

  // A vfork child shares its parent's memory: its crash must neither take the parent's report nor
  // hold up the parent's own crash.
  constexpr int kForkRuns = 3;
  for (const char* scenario : {"forked-child-first", "vfork-child-first"}) {
    for (int run = 0; run < kForkRuns; ++run) {
      SCOPED_TRACE(std::string(scenario) + ", run " + std::to_string(run));
      purgePendingReports();
      ml::test::ChildProcess parent(CRASHCAPTURE_HELPER, {scenario, GetParam()});
      std::optional<int> status = parent.wait(60s);
      EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV) << parent.output();
      const std::string output = parent.output();
      const size_t at = output.find("forked ");
      ASSERT_NE(at, std::string::npos) << output;
      const ForkedPids forked{static_cast<uint64_t>(parent.pid()), std::stoull(output.substr(at + 7))};
      expectForkedChildAndParentReports(forked);
      EXPECT_EQ(output.find("not writing another"), std::string::npos) << output;
    }
  }
}

// Free bytes of the volume at `path`.
uint64_t freeBytes(const std::filesystem::path& path) {
  struct statvfs volume{};
  return ::statvfs(path.c_str(), &volume) == 0 ? uint64_t{volume.f_bavail} * volume.f_frsize : 0;
}

// Fills the volume of folder `at` with one file, then gives `spare` bytes back.
void fillLeaving(const std::filesystem::path& at, uint64_t spare) {
  const int fd = ::open((at / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const std::string block(4096, 'x');
  uint64_t written = 0;
  for (ssize_t n; (n = ::write(fd, block.data(), block.size())) > 0;) written += static_cast<uint64_t>(n);
  EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(written - std::min(spare, written))), 0);
  ::close(fd);
}

// The one pending report, of the crash `outcome` is: it decodes, within `most` bytes, with its
// crashed thread in `function` (under the name the symbol table gives: a recursion's local alias).
void expectDecodableReportOf(const ChildOutcome& outcome, const char* function, uint64_t most,
                             const std::string& context) {
  EXPECT_TRUE(outcome.signaled && outcome.signal == SIGSEGV) << context << ": " << outcome.describe();
  const std::vector<std::string> paths = pendingReportPaths();
  ASSERT_EQ(paths.size(), 1u) << context << ": " << outcome.describe();
  EXPECT_LE(std::filesystem::file_size(paths.front()), most) << context;
  std::string why;
  std::optional<TLCrashReport> report = readReportAt(paths.front(), &why);
  ASSERT_TRUE(report.has_value()) << context << ": " << why;
  const TLCrashReportThreadInfo* crashed = crashedThread(*report);
  ASSERT_TRUE(crashed != nullptr && !crashed->stackFrames().empty()) << context;
  EXPECT_EQ(symbolOf(crashed->stackFrames().front()).rfind(function, 0), 0u) << context;
  purgePendingReports();
}

// The report folders on a small volume of their own: one that fills up after enabling still
// takes a whole report (its room was reserved at enabling); one with only 4 KiB left from the
// start takes a report trimmed to them (a stack overflow's is about 30 KB); a process that ends
// cleanly leaves neither a report nor its reservation behind.
TEST_P(EachCaptureMode, NearlyFullVolumeStillGetsADecodableReport) {
  using namespace std::chrono_literals;
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::filesystem::path cache = std::getenv("XDG_CACHE_HOME");
  ASSERT_EQ(::mount("tmpfs", cache.c_str(), "tmpfs", 0, "size=2m"), 0) << std::strerror(errno);
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{cache.string()};
  const uint64_t freeAtStart = freeBytes(cache);

  const std::string go = (sandbox_->root() / "go").string();
  ml::test::ChildProcess helper(CRASHCAPTURE_HELPER, {"segv-on-go", GetParam()}, {{"CRASHCAPTURE_GO", go}});
  EXPECT_TRUE(ml::test::waitUntil([&] { return helper.output().find("ready") != std::string::npos; }));
  fillLeaving(cache, 0);
  EXPECT_EQ(freeBytes(cache), 0u);
  std::ofstream(go).put('\n');
  std::optional<int> status = helper.wait(60s);
  ChildOutcome filledLater;
  filledLater.signaled = status && WIFSIGNALED(*status);
  filledLater.signal = filledLater.signaled ? WTERMSIG(*status) : 0;
  filledLater.out = helper.output();
  expectDecodableReportOf(filledLater, "crashcapture_null_read", UINT64_MAX, "filled after enabling");
  EXPECT_EQ(filledLater.out.find("Report trimmed"), std::string::npos) << filledLater.out;

  fillLeaving(cache, 4096);
  expectDecodableReportOf(runHelper(CRASHCAPTURE_HELPER, "overflow-thread", GetParam()), "crashcapture_overflow",
                          4096, "4 KiB free before enabling");
  std::filesystem::remove(cache / "filler");

  ChildOutcome clean = runHelper(CRASHCAPTURE_HELPER, "none", GetParam());
  EXPECT_TRUE(clean.exited) << clean.describe();
  EXPECT_TRUE(pendingReportPaths().empty());
  EXPECT_EQ(freeBytes(cache), freeAtStart) << "the reservation goes with the process";
}

INSTANTIATE_TEST_SUITE_P(BothModes, EachCaptureMode, testing::Values("bsd", "mach"));

}  // namespace
}  // namespace ml::crash::test

// The crashes service end to end: a program with the service enabled dies for real, the next
// launch of it sends the crash over a loopback ingestion, and the stored crash files end up as
// they should (sent and gone, kept while the channel refuses, removed when they cannot decode).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crashreporter/capture/TLCrashReporter.h"
#include "support/ChildProcess.h"
#include "support/Gunzip.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace ml::beacon::test {
namespace {

using ml::test::ChildOutcome;
using ml::test::ChildProcess;
using ml::test::gunzip;
using ml::test::runProgram;

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kChild = ML_CRASHING_CHILD;
constexpr std::uint64_t kNoCrashHandlers = 99;  // a handler type that installs nothing

// Every log the server received, in order.
std::vector<json> receivedLogs(const ml::test::LocalHttpServer& server) {
  std::vector<json> logs;
  for (const auto& request : server.requests()) {
    std::string body = request.body;
    if (request.header("Content-Encoding") == "gzip") body = gunzip(body);
    auto parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.contains("logs")) continue;
    for (const auto& log : parsed["logs"]) logs.push_back(log);
  }
  return logs;
}

std::vector<json> logsOfType(const std::vector<json>& logs, const std::string& type) {
  std::vector<json> found;
  for (const auto& log : logs) {
    if (log.value("type", "") == type) found.push_back(log);
  }
  return found;
}

std::uint64_t hexNumber(const std::string& text) { return std::stoull(text, nullptr, 16); }

// The stored crash files, without the folder's backup-exclusion tag.
std::vector<fs::path> storedCrashFiles(const fs::path& crashesFolder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(crashesFolder, error)) {
    if (entry.path().filename() != "CACHEDIR.TAG") files.push_back(entry.path());
  }
  return files;
}

// The reporter's complete pending reports ("live_report[.<id>].tlcrash"), whatever process left them.
std::vector<fs::path> pendingReports() {
  crash::TLCrashReporter probe(crash::TLCrashReporterConfig(kNoCrashHandlers, 0));
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(probe.crashReportDirectory(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("live_report") && name.ends_with(".tlcrash") && entry.is_regular_file()) {
      found.push_back(entry.path());
    }
  }
  return found;
}

void touch(const fs::path& path) { std::ofstream(path) << "go"; }

// A crash's time is its whole second, read as that second's .999 mark: a launch begun within the
// crash's second would count as before the crash, and its session and user as the crash's.
void waitPastTheCurrentSecond() {
  const auto next = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) + std::chrono::seconds(1);
  while (std::chrono::system_clock::now() < next) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

class TLCrashesEndToEndTest : public ::testing::Test {
 protected:
  TLCrashesEndToEndTest() {
    // Sanitizer builds: the crash reporter, not the sanitizer, is to handle the faults, and a
    // child that ends with _Exit has nothing to report as leaked.
    const char* previous = std::getenv("ASAN_OPTIONS");
    savedAsanOptions_ = previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("ASAN_OPTIONS",
             "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:allow_user_segv_handler=1:"
             "detect_leaks=0",
             1);
  }
  ~TLCrashesEndToEndTest() override {
    if (savedAsanOptions_) {
      ::setenv("ASAN_OPTIONS", savedAsanOptions_->c_str(), 1);
    } else {
      ::unsetenv("ASAN_OPTIONS");
    }
  }

  // The telemetry client's folder under the sandbox's data folder.
  static fs::path clientFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    return fs::path(data ? data : "") / "org.marrowlane.Marrowlane" / "org.marrowlane.beacon";
  }

  struct Crash {
    ChildOutcome run;
    std::uint64_t throwSiteStart = 0;
    std::uint64_t throwSiteSize = 0;
  };
  static Crash crash(const std::string& kind, const std::string& url, bool bsd = false) {
    std::vector<std::string> arguments{"crash", kind, url};
    if (bsd) arguments.push_back("bsd");
    Crash result{runProgram(kChild, arguments)};
    std::istringstream out(result.run.out);
    std::string word, start, size;
    if (out >> word >> start >> size && word == "throw-site") {
      result.throwSiteStart = hexNumber(start);
      result.throwSiteSize = hexNumber(size);
    }
    return result;
  }

  std::optional<std::string> savedAsanOptions_;
};

TEST_F(TLCrashesEndToEndTest, EachCrashIsSentAtTheNextLaunchWithItsThreadsImagesThrowSiteAndLogsInFlight) {
  struct Scenario {
    std::string kind;
    bool bsd;
    int signal;
    bool exception;
  };
  const std::vector<Scenario> scenarios = {{"segv", false, SIGSEGV, false},
                                           {"segv", true, SIGSEGV, false},
                                           {"cxx-main", false, SIGABRT, true},
                                           {"cxx-thread", false, SIGABRT, true},
                                           {"test-crash", false, SIGILL, false}};
  for (const auto& scenario : scenarios) {
    SCOPED_TRACE(scenario.kind + (scenario.bsd ? " (signal handlers)" : " (exception server)"));
    ml::test::XdgSandbox sandbox;
    ml::test::LocalHttpServer server;

    Crash crashed = crash(scenario.kind, server.baseUrl(), scenario.bsd);
    ASSERT_TRUE(crashed.run.signaled) << crashed.run.describe();
    EXPECT_EQ(crashed.run.signal, scenario.signal) << crashed.run.describe();
    ASSERT_GT(crashed.throwSiteSize, 0u) << crashed.run.describe();

    ChildOutcome next = runProgram(kChild, {"collect", server.baseUrl()});
    ASSERT_TRUE(next.exited && next.exitCode == 0) << next.describe();
    EXPECT_EQ(occurrences(next.err, "Symbol prefix rules are unknown"), 0u) << next.err;

    const auto logs = receivedLogs(server);
    const auto crashLogs = logsOfType(logs, "appleError");
    ASSERT_EQ(crashLogs.size(), 1u) << next.describe();
    const json& log = crashLogs[0];
    EXPECT_TRUE(log.value("fatal", false));
    ASSERT_TRUE(log.contains("threads") && log.contains("errorThreadId"));
    const auto crashedId = log["errorThreadId"];
    int crashedThreads = 0;
    const json* crashedThread = nullptr;
    for (const auto& thread : log["threads"]) {
      if (thread.value("id", json()) == crashedId) {
        ++crashedThreads;
        crashedThread = &thread;
      }
    }
    EXPECT_EQ(crashedThreads, 1) << log.dump(1);
    ASSERT_TRUE(log.contains("binaries") && !log["binaries"].empty()) << log.dump(1);
    ASSERT_TRUE(crashedThread && crashedThread->contains("frames") && !(*crashedThread)["frames"].empty());

    if (scenario.exception) {
      EXPECT_EQ(log.value("exceptionType", ""), "std::runtime_error");
      EXPECT_EQ(log.value("exceptionReason", ""), "thrown by the crashing child");
      ASSERT_TRUE(crashedThread->contains("exception")) << log.dump(1);
      const auto& frames = (*crashedThread)["exception"]["frames"];
      ASSERT_FALSE(frames.empty());
      // Frame 0 is the return address of the throw call inside the throwing function (which may
      // be its last instruction, so the address before it is the one inside).
      const std::uint64_t returnAddress = hexNumber(frames[0].value("address", "0"));
      EXPECT_GE(returnAddress - 1, crashed.throwSiteStart) << frames.dump(1);
      EXPECT_LT(returnAddress - 1, crashed.throwSiteStart + crashed.throwSiteSize) << frames.dump(1);
    }

    // The log that was prepared but not stored when the process died arrives too.
    int inFlight = 0;
    for (const auto& any : logs) {
      if (any.value("type", "") == "event" && any.contains("properties") &&
          any["properties"].value("name", "") == "in-flight") {
        ++inFlight;
      }
    }
    EXPECT_EQ(inFlight, 1);
    ASSERT_TRUE(fs::is_directory(clientFolder() / "crashes"));
    EXPECT_TRUE(storedCrashFiles(clientFolder() / "crashes").empty());
  }
}

TEST_F(TLCrashesEndToEndTest, RefusedCrashLogKeepsItsFileAndAnUndecodableFileIsRemovedAfterOneWarning) {
  ml::test::XdgSandbox sandbox;
  ml::test::LocalHttpServer server;
  Crash crashed = crash("segv", server.baseUrl());
  ASSERT_TRUE(crashed.run.signaled) << crashed.run.describe();
  const fs::path crashes = clientFolder() / "crashes";
  ASSERT_TRUE(fs::is_directory(crashes));
  std::ofstream(crashes / "12345") << "not a crash report";

  // The channel drops the crash log: the report stays for the next launch. The undecodable file
  // is warned about once and goes.
  ChildOutcome refused = runProgram(kChild, {"collect", server.baseUrl(), "refuse"});
  ASSERT_TRUE(refused.exited && refused.exitCode == 0) << refused.describe();
  EXPECT_NE(refused.out.find("stored 1"), std::string::npos) << refused.describe();
  EXPECT_EQ(occurrences(refused.err, "couldn't parse it"), 1u) << refused.err;
  EXPECT_TRUE(logsOfType(receivedLogs(server), "appleError").empty());
  const auto kept = storedCrashFiles(crashes);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_NE(kept[0].filename(), "12345");
  // A report holds register values and stack words: its stored copy, like the log buffer's files
  // the crash wrote, is the owner's alone.
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(kept[0]).permissions() & fs::perms::all, ownerOnly);
  for (const auto& entry : fs::directory_iterator(clientFolder() / "crasheslogbuffer")) {
    if (entry.path().filename() != "CACHEDIR.TAG") {
      EXPECT_EQ(entry.status().permissions() & fs::perms::all, ownerOnly) << entry.path();
    }
  }

  // The log in flight at the crash went out with the refused run already.
  ChildOutcome next = runProgram(kChild, {"collect", server.baseUrl(), "crash-only"});
  ASSERT_TRUE(next.exited && next.exitCode == 0) << next.describe();
  EXPECT_EQ(occurrences(next.err, "couldn't parse it"), 0u) << next.err;
  EXPECT_EQ(logsOfType(receivedLogs(server), "appleError").size(), 1u);
  EXPECT_TRUE(storedCrashFiles(crashes).empty());
}

// A crashes folder the program may read but not change (its files cannot be removed): the crash
// goes out once, the failure to remove it is logged, and later launches do not send it again.
// The child drops root's right to ignore file modes, so this runs the same for root.
TEST_F(TLCrashesEndToEndTest, ReadOnlyCrashFolderSendsTheCrashOnce) {
  ml::test::XdgSandbox sandbox;
  ml::test::LocalHttpServer server;
  Crash crashed = crash("segv", server.baseUrl());
  ASSERT_TRUE(crashed.run.signaled) << crashed.run.describe();
  ChildOutcome stored = runProgram(kChild, {"collect", server.baseUrl(), "refuse"});
  ASSERT_NE(stored.out.find("stored 1"), std::string::npos) << stored.describe();

  const fs::path crashes = clientFolder() / "crashes";
  fs::permissions(crashes, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  ChildOutcome first = runProgram(kChild, {"collect", server.baseUrl(), "crash-only", "no-file-rights"});
  ChildOutcome second = runProgram(kChild, {"collect", server.baseUrl(), "idle", "no-file-rights"});
  ChildOutcome third = runProgram(kChild, {"collect", server.baseUrl(), "idle", "no-file-rights"});
  fs::permissions(crashes, fs::perms::owner_all, fs::perm_options::add);

  ASSERT_TRUE(first.exited && first.exitCode == 0) << first.describe();
  EXPECT_NE(first.err.find("Couldn't delete the crash report file"), std::string::npos) << first.err;
  EXPECT_TRUE(second.exited && second.exitCode == 0) << second.describe();
  EXPECT_TRUE(third.exited && third.exitCode == 0) << third.describe();
  EXPECT_EQ(logsOfType(receivedLogs(server), "appleError").size(), 1u);
  EXPECT_EQ(storedCrashFiles(crashes).size(), 1u) << "the file stays where it cannot be removed";
}

// A file in place of the caches folder (not the reporter's to move aside): enabling fails, and
// the log says why, with the system's reason and the folder, before the handler check that follows.
TEST_F(TLCrashesEndToEndTest, AReporterThatCannotBeEnabledLogsTheRealReasonFirst) {
  ml::test::XdgSandbox sandbox;
  ml::test::LocalHttpServer server;
  crash::TLCrashReporter probe(crash::TLCrashReporterConfig(kNoCrashHandlers, 0));
  const fs::path caches = fs::path(probe.crashReportDirectory()).parent_path().parent_path();
  fs::remove_all(caches);
  fs::create_directories(caches.parent_path());
  std::ofstream(caches) << "in the way";
  ChildOutcome run = runProgram(kChild, {"collect", server.baseUrl(), "idle"});
  fs::remove(caches);
  ASSERT_TRUE(run.exited && run.exitCode == 0) << run.describe();
  const auto reason = run.err.find("Could not enable crash reporter: Failed to create the crash report directory: "
                                   "Not a directory (reports in " + probe.crashReportDirectory() + ")");
  ASSERT_NE(reason, std::string::npos) << run.err;
  const auto consequence = run.err.find("Exception handler could not be set");
  EXPECT_TRUE(consequence == std::string::npos || consequence > reason) << run.err;
}

// Every crash of processes that share one data folder reaches the server once: a crash loop at
// start-up (each launch stores the last one's report and crashes within the same second), two
// running instances crashing one after the other, and two crashing at the same instant; then two
// launches at once take the reports over.
TEST_F(TLCrashesEndToEndTest, EveryCrashOfProcessesSharingTheFolderIsSentOnce) {
  ml::test::XdgSandbox sandbox;
  ml::test::LocalHttpServer server;
  for (int launch = 0; launch < 3; ++launch) {
    Crash crashed = crash("segv", server.baseUrl());
    ASSERT_TRUE(crashed.run.signaled) << "launch " << launch << ": " << crashed.run.describe();
  }

  const ml::test::TempDir signals;
  const fs::path first = signals.path() / "first", second = signals.path() / "second", both = signals.path() / "both";
  std::vector<std::unique_ptr<ChildProcess>> instances;
  for (const auto& when : {first, second, both, both}) {
    instances.push_back(std::make_unique<ChildProcess>(kChild, std::vector<std::string>{"crash", "segv", server.baseUrl()},
                                                       std::map<std::string, std::string>{
                                                           {"CRASHING_CHILD_CRASH_WHEN", when.string()}}));
  }
  ASSERT_TRUE(ml::test::waitUntil([&] {
    for (const auto& instance : instances) {
      if (instance->output().find("ready") == std::string::npos) return false;
    }
    return true;
  })) << instances[0]->output();
  auto expectCrashed = [](ChildProcess& instance) {
    const auto status = instance.wait();
    EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV) << instance.output();
  };
  touch(first);
  expectCrashed(*instances[0]);
  touch(second);
  expectCrashed(*instances[1]);
  touch(both);
  expectCrashed(*instances[2]);
  expectCrashed(*instances[3]);
  EXPECT_EQ(pendingReports().size(), 4u) << "one report per dead process";

  // Two launches at once on the folder: one takes the reports over, the other leaves them to it.
  // A last launch sends whatever the first two left unsent.
  {
    ChildProcess one(kChild, {"collect", server.baseUrl(), "idle"});
    ChildProcess other(kChild, {"collect", server.baseUrl(), "idle"});
    for (ChildProcess* launch : {&one, &other}) {
      const auto status = launch->wait(std::chrono::seconds(60));
      EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << launch->output();
    }
  }
  const auto sentSoFar = logsOfType(receivedLogs(server), "appleError").size();
  ASSERT_LE(sentSoFar, 7u);
  ChildOutcome next = runProgram(kChild, {"collect", server.baseUrl(), "crash-only"}, std::chrono::seconds(90),
                                {{"CRASHING_CHILD_EXPECT_CRASHES", std::to_string(7 - sentSoFar)}});
  ASSERT_TRUE(next.exited && next.exitCode == 0) << next.describe();
  const auto crashLogs = logsOfType(receivedLogs(server), "appleError");
  std::set<std::string> incidents;
  std::set<std::int64_t> processes;
  for (const auto& log : crashLogs) {
    incidents.insert(log.value("id", ""));
    processes.insert(log.value("processId", std::int64_t{-1}));
  }
  EXPECT_EQ(crashLogs.size(), 7u) << next.describe();
  EXPECT_EQ(incidents.size(), crashLogs.size()) << "each crash once";
  EXPECT_EQ(processes.size(), 7u) << "one crash of each process";
  EXPECT_TRUE(pendingReports().empty());
  EXPECT_TRUE(storedCrashFiles(clientFolder() / "crashes").empty());
}

// What may stand in the crashes folder's way loses no crash: a file where the folder goes (moved
// aside), a marker an older version left behind (names no report: purges nothing), a temporary
// file an interrupted write left (not a report: no parse warning, and removed), and a folder that
// cannot be made at all (the report stays pending, with its session and user, until a later
// launch can store it). The children drop root's right to ignore file modes, so a read-only
// folder is read-only for root too.
TEST_F(TLCrashesEndToEndTest, NothingInTheCrashesFolderSWayLosesACrash) {
  ml::test::XdgSandbox sandbox;
  ml::test::LocalHttpServer server;
  const fs::path crashes = clientFolder() / "crashes";
  auto sentCrashes = [&] { return logsOfType(receivedLogs(server), "appleError").size(); };

  // A file where the crashes folder goes.
  ASSERT_TRUE(crash("segv", server.baseUrl()).run.signaled);
  fs::remove_all(crashes);
  std::ofstream(crashes) << "in the way";
  ChildOutcome moved = runProgram(kChild, {"collect", server.baseUrl(), "crash-only"});
  ASSERT_TRUE(moved.exited && moved.exitCode == 0) << moved.describe();
  EXPECT_EQ(sentCrashes(), 1u);
  EXPECT_TRUE(fs::is_regular_file(clientFolder() / "crashes.moved-aside")) << "kept under another name";
  EXPECT_NE(moved.err.find("moved it aside"), std::string::npos) << "the reporter's warning is seen: " << moved.err;

  // An older version's marker and an interrupted write's temporary file.
  ASSERT_TRUE(crash("segv", server.baseUrl()).run.signaled);
  std::ofstream(crashes / "TLCrashes.analyzer").flush();
  const fs::path leftover = crashes / "CACHEDIR.TAG.tmp-q8Xz2L";
  std::ofstream(leftover) << "Signature: 8a477f";
  fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
  ChildOutcome damaged = runProgram(kChild, {"collect", server.baseUrl(), "crash-only"});
  ASSERT_TRUE(damaged.exited && damaged.exitCode == 0) << damaged.describe();
  EXPECT_EQ(sentCrashes(), 2u);
  EXPECT_EQ(occurrences(damaged.err, "couldn't parse"), 0u) << damaged.err;
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_FALSE(fs::exists(crashes / "TLCrashes.analyzer"));

  // No crashes folder can be made (a file in its place, in a folder the child may not change):
  // the report stays pending, with the session and user it crashed in, and the launch after the
  // way is clear sends it.
  ASSERT_TRUE(crash("segv", server.baseUrl()).run.signaled);
  waitPastTheCurrentSecond();
  fs::remove_all(crashes);
  std::ofstream(crashes) << "in the way";
  fs::permissions(clientFolder(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ChildOutcome blocked = runProgram(kChild, {"collect", server.baseUrl(), "idle", "no-file-rights"});
  fs::permissions(clientFolder(), fs::perms::owner_write, fs::perm_options::add);
  ASSERT_TRUE(blocked.exited && blocked.exitCode == 0) << blocked.describe();
  EXPECT_NE(blocked.err.find("it stays pending"), std::string::npos) << blocked.err;
  EXPECT_EQ(pendingReports().size(), 1u);
  EXPECT_EQ(sentCrashes(), 2u);
  ChildOutcome cleared = runProgram(kChild, {"collect", server.baseUrl(), "crash-only"});
  ASSERT_TRUE(cleared.exited && cleared.exitCode == 0) << cleared.describe();
  EXPECT_EQ(sentCrashes(), 3u);
  EXPECT_TRUE(pendingReports().empty());

  const auto crashLogs = logsOfType(receivedLogs(server), "appleError");
  ASSERT_EQ(crashLogs.size(), 3u);
  EXPECT_EQ(crashLogs.back().value("userId", ""), "crashing-user");
  EXPECT_NE(crashLogs.back().value("sid", ""), "");
  std::set<std::string> incidents;
  for (const auto& log : crashLogs) incidents.insert(log.value("id", ""));
  EXPECT_EQ(incidents.size(), 3u) << "each crash once";
}

// A program that returns from main while the client's channel is busy: the client stops its
// queues and threads before static objects are torn down, so no telemetry line is logged after
// its shutdown returned, and none reaches the program's log after it is gone; the program still
// holds a channel unit meanwhile. In three launches the server answers at once and the program
// hands the channel three full batches right before its shutdown, so the ingestion is at work on
// them and their answers as the client stops (an ingestion left at work past the shutdown logs
// after it in about two such launches of three); in the last the server holds every request, so
// transfers are under way at the shutdown.
TEST_F(TLCrashesEndToEndTest, ReturningFromMainWithTheChannelAtWorkEndsCleanly) {
  using ml::test::ScriptedHttpAnswer;
  ml::test::LocalHttpServer server;
  for (int launch = 0; launch < 4; ++launch) {
    SCOPED_TRACE("launch " + std::to_string(launch));
    ml::test::XdgSandbox sandbox;
    const bool answered = launch < 3;
    server.setDefaultAnswer(answered ? ScriptedHttpAnswer::respond(200) : ScriptedHttpAnswer::hold());
    std::vector<std::string> arguments{"exit", server.baseUrl()};
    if (!answered) arguments.push_back("unanswered");
    ChildOutcome run = runProgram(kChild, arguments);
    server.releaseHeld();
    // The whole of standard error: a sanitizer's report names the freeing and using threads first.
    EXPECT_TRUE(run.exited && run.exitCode == 0) << run.describe() << "\n--- whole stderr\n" << run.err;
    EXPECT_NE(run.out.find("leaving"), std::string::npos) << run.describe() << "\n--- whole stderr\n" << run.err;
  }
}

}  // namespace
}  // namespace ml::beacon::test

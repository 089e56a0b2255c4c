#pragma once
// What the crashes service does with crash reports between the crash and the channel: stores
// each of the reporter's pending reports (one per dead process, whatever processes share the
// folder) in "crashes" under a name of its own ("<incident id>.tlcrash"; stores of older versions
// named their files by whole seconds since 2001, and those are still read), lists the stored
// files, decodes and formats them in a processing run, lets the host filter them, asks for
// confirmation, and enqueues each crash log (critical) with its attachments (normal).
//
// A pending report is purged only once it is stored (or known sent, or it can never decode): a
// store that fails (an obstacle at the crashes folder that cannot be moved aside, a full disk)
// keeps it pending for the next launch. An existing stored name is never taken for a store. While
// one pending report is loaded and decoded, the "TLCrashes.analyzer" marker names it (path and
// file identity): when the process dies there, the next launch purges that report and no other.
//
// A stored file goes only once its report can no longer be lost: when the channel has finished
// with its crash log without refusing it (didCompleteEnqueueingLog without a didFailEnqueueingLog
// before), when the host or the user drops it, or when it can never become a log (it does not
// decode, or the log it gives is not valid). A file whose log the channel refused stays for the
// next run.
//
// A stored file whose removal fails (a read-only folder) is logged, and the incident id of its
// sent crash is remembered in the settings, so the file is skipped, not sent again, in every later
// run for as long as it stays; the same goes for a pending report the reporter cannot purge.
//
// Processes sharing one data folder: one at a time takes its crash reports over (a claim beside
// the crashes folder, TLCrashesFolderClaim), from storing the pending reports to the channel's
// word on every crash log it handed over; the others leave the reports to it, so each crash is
// stored and sent once. The claim is dropped as soon as nothing is under way.
//
// The service's surroundings (channel unit, contexts, settings, reporter, host delegate) come in
// as an Environment of functions, so the logic runs the same under the service and in tests.
//
// Threads: callable from any thread (the enabling thread, the processing run, the host's answer,
// the channel's queue). The state is guarded by a lock of its own that is never held while an
// Environment function runs, so the host, the channel and the contexts are always called without
// it. Each waiting crash is taken out of the waiting list under the lock before it is sent or
// dropped, so two answers racing each other (the run's own decision and the host's) act on a
// crash once.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/crashes/Internals/TLCrashesFolderClaim.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "beacon/crashes/Model/TLErrorReport.h"

namespace ml::beacon {

enum class TLUserConfirmation : int { dontSend = 0, send = 1, always = 2 };

class TLCrashReportProcessor {
 public:
  using Date = std::chrono::system_clock::time_point;
  using Attachments = std::vector<std::shared_ptr<TLErrorAttachmentLog>>;
  using Reports = std::vector<std::shared_ptr<TLErrorReport>>;

  static constexpr std::uint32_t kCriticalFlags = 2;
  static constexpr std::uint32_t kNormalFlags = 1;
  static constexpr const char* kAnalyzerFileName = "TLCrashes.analyzer";
  // The extension of the stored reports.
  static constexpr std::string_view kStoredReportExtension = ".tlcrash";

  struct Environment {
    std::function<bool()> isEnabled;
    std::function<void(std::shared_ptr<TLAbstractLog> log, std::uint32_t flags)> enqueue;
    std::function<std::optional<std::string>(Date)> sessionIdAt;
    std::function<std::optional<std::string>(Date)> userIdAt;
    std::function<void()> clearContextHistory;
    // The reporter's complete pending reports, oldest first; one report's bytes (nothing when it
    // cannot be read) and its purge, which answers whether the report is gone (false: it could
    // not be removed, and it is logged).
    std::function<std::vector<std::string>()> pendingCrashReportPaths;
    std::function<std::optional<std::vector<std::uint8_t>>(const std::string& path)> loadPendingCrashReport;
    std::function<bool(const std::string& path)> purgePendingCrashReport;
    // The incident ids of sent crashes whose report could not be removed (a settings value).
    std::function<std::vector<std::string>()> loadSentIncidents;
    std::function<void(const std::vector<std::string>&)> storeSentIncidents;
    // The "TLUserConfirmation" setting.
    std::function<bool()> shouldAlwaysSend;
    std::function<void()> setAlwaysSend;
    // Host hooks; an empty function, or nothing answered, is a method the host does not implement.
    std::function<bool(const TLErrorReport&)> shouldProcessErrorReport;
    std::function<std::optional<Attachments>(const TLErrorReport&)> attachmentsForErrorReport;
    std::function<bool(const Reports&)> userConfirmationHandler;
    std::function<Date()> now;
  };

  TLCrashReportProcessor(Environment environment, std::string crashesPathComponent);

  // Moves every pending report into the crashes folder, oldest first, and purges each that is
  // stored (a report a marker shows an earlier attempt died on is purged unread). Returns the
  // report of the last session: the newest pending report that decoded.
  std::shared_ptr<TLErrorReport> handleLatestCrashReport();
  // The stored reports in listing order: regular, non-empty files with a report's name (the
  // store's "<id>.tlcrash", or an older store's whole number), never the marker, temporary files
  // or other side files. Temporary files an interrupted write left behind (older than a minute,
  // so not another process's write in progress) are removed.
  std::vector<std::filesystem::path> persistedCrashReports() const;
  void setCrashFiles(std::vector<std::filesystem::path> files);
  std::vector<std::filesystem::path> crashFiles() const;

  // One processing run over crashFiles(): decode, format, filter, then (when automatic
  // processing is on) the send decision.
  void processCrashReports();
  bool sendCrashReportsOrAwaitUserConfirmation();
  bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
  void notifyWithUserConfirmation(TLUserConfirmation confirmation);
  void handleUserConfirmation(TLUserConfirmation confirmation);
  void sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier);
  static bool validatePropertiesForAttachment(const TLErrorAttachmentLog& attachment);

  // The channel's word on a crash log this processor enqueued: refused (dropped before it was
  // stored), then finished with. The file of a finished log that was not refused is deleted with
  // its wrapper exception; other logs are ignored.
  void didFailEnqueueingLog(const TLAbstractLog* log);
  void didCompleteEnqueueingLog(const TLAbstractLog* log);
  // Crash logs handed to the channel whose end has not been heard yet.
  std::size_t logsAwaitingChannel() const;
  // Sent crashes whose report could not be removed.
  std::set<std::string> sentIncidents() const;

  void deleteAllFromCrashesDirectory();
  void deleteCrashReportWithFileURL(const std::filesystem::path& url);
  void clearUnprocessedReports();
  void removeAnalyzerFile();

  void setAutomaticProcessingEnabled(bool enabled);
  bool isAutomaticProcessingEnabled() const;
  // The reports waiting for confirmation; nothing before the first processing run.
  std::optional<Reports> unprocessedReports() const;
  const std::string& analyzerInProgressFilePathComponent() const { return analyzerPathComponent_; }

 private:
  // One stored report waiting for the decision: its file, its crash log and its error report.
  struct WaitingCrash {
    std::filesystem::path url;
    std::shared_ptr<TLAppleErrorLog> log;
    std::shared_ptr<TLErrorReport> report;
    std::string incidentIdentifier;
  };
  struct AwaitingChannel {
    std::filesystem::path url;
    std::string incidentIdentifier;
    bool refused = false;
  };

  // Empties the waiting list and answers what it held.
  std::vector<WaitingCrash> takeWaiting();
  void sendCrash(WaitingCrash& crash);
  void removeFromCrashFiles(const std::filesystem::path& url);
  // Deletes a stored file that can never give a log, so it is not read again in every run.
  void discardUnusableFile(const std::filesystem::path& url);
  // Deletes a stored file; a failure is logged and answered false.
  bool removeCrashFile(const std::filesystem::path& url);
  bool wasSent(const std::string& incidentIdentifier) const;
  void rememberSent(const std::string& incidentIdentifier);
  // Keeps only the remembered ids in `present` (reports still on disk), storing a change.
  void forgetSentExcept(const std::set<std::string>& present);
  void storeSentIncidents(std::set<std::string> incidents);
  bool purgePendingCrashReport(const std::string& path);
  // Takes the folder's claim for this process; false (logged) while another process holds it.
  bool claimCrashReports();
  // Drops the claim once nothing is under way: no handling, run or answer in progress, no crash
  // waiting for an answer, no crash log the channel has not finished with.
  void releaseClaimWhenIdle();
  // Marks handling, a run or an answer as under way for its scope.
  class BusyScope {
   public:
    explicit BusyScope(TLCrashReportProcessor& processor);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    TLCrashReportProcessor& processor_;
  };
  // One pending report: stored and purged, or kept pending when it could not be stored. Answers
  // its error report when it decoded.
  std::shared_ptr<TLErrorReport> handlePendingCrashReport(const std::string& path);
  // The pending report a marker left by a dead attempt names, when it is among `paths`; the
  // marker is removed either way.
  std::optional<std::string> takeAbandonedMarker(const std::vector<std::string>& paths);
  // Writes `data` into the crashes folder under a name of its own; true once it is there.
  bool storeCrashReport(const std::string& incident, const std::vector<std::uint8_t>& data);
  // Makes the crashes folder, moving aside a file or other obstacle standing where it goes.
  bool prepareCrashesFolder();

  const Environment environment_;
  const std::string crashesPathComponent_;
  const std::string analyzerPathComponent_;

  mutable std::mutex lock_;  // everything below; never held while the environment is called
  bool automaticProcessingEnabled_ = true;
  std::vector<std::filesystem::path> crashFiles_;
  std::optional<std::vector<WaitingCrash>> waiting_;
  // Keyed by the log object the channel reports on.
  std::map<const TLAbstractLog*, AwaitingChannel> awaitingChannel_;
  std::vector<std::shared_ptr<TLAbstractLog>> awaitingLogs_;  // keeps the keys alive
  std::set<std::string> sentIncidents_;
  // The incidents of this launch's pending reports that were stored but could not be purged.
  std::set<std::string> stuckPendingIncidents_;
  TLCrashesFolderClaim claim_;
  int busy_ = 0;  // BusyScopes alive
};

}  // namespace ml::beacon

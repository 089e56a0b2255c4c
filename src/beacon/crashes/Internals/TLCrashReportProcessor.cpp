#include "beacon/crashes/Internals/TLCrashReportProcessor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "beacon/crashes/Util/TLErrorLogFormatter.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "crashreporter/CrashReport.h"
#include "crashreporter/capture/ReportFolderObstacles.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

namespace {

namespace fs = std::filesystem;

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isSideFile(const std::string& name) {
  // The backup-exclusion tag the client folder utility writes into every folder it creates.
  if (name == TLUtilityFile::kCacheDirTagName) return true;
  static constexpr std::string_view kSuffixes[] = {".DS_Store", ".analyzer", ".plist", ".data", ".meta", ".desc"};
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes),
                     [&](std::string_view suffix) { return endsWith(name, suffix); });
}

bool isTemporaryFile(const std::string& name) { return name.find(TLUtilityFile::kTemporaryMarker) != std::string::npos; }

// The names stored reports carry: "<id>.tlcrash", or an older store's whole number of seconds.
bool isReportName(const std::string& name) {
  if (isTemporaryFile(name) || isSideFile(name)) return false;
  if (endsWith(name, TLCrashReportProcessor::kStoredReportExtension)) {
    return name.size() > TLCrashReportProcessor::kStoredReportExtension.size();
  }
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An incident id that can stand in a file name as it is (the reporter's are UUID strings).
bool isFileNameSafe(const std::string& incident) {
  return !incident.empty() && incident.size() <= 64 && std::all_of(incident.begin(), incident.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
  });
}

// Temporary files younger than this may belong to a write in progress in another process.
constexpr auto kTemporaryFileGrace = std::chrono::minutes(1);

// What the marker holds for the pending report it guards: its path, and the identity of the file
// there (device, inode, change time, size), so a newer report under the same name is not taken
// for it.
std::string markerContent(const std::string& path) {
  std::string content = path + "\n";
  struct stat info{};
  if (::stat(path.c_str(), &info) == 0) {
    content += std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " " +
               std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec) + " " +
               std::to_string(info.st_size) + "\n";
  }
  return content;
}

TLCrashReportProcessor::Environment withDefaults(TLCrashReportProcessor::Environment environment) {
  if (!environment.now) environment.now = [] { return std::chrono::system_clock::now(); };
  return environment;
}

}  // namespace

TLCrashReportProcessor::TLCrashReportProcessor(Environment environment, std::string crashesPathComponent)
    : environment_(withDefaults(std::move(environment))),
      crashesPathComponent_(std::move(crashesPathComponent)),
      analyzerPathComponent_(crashesPathComponent_ + "/" + kAnalyzerFileName) {
  if (environment_.loadSentIncidents) {
    for (auto& incident : environment_.loadSentIncidents()) {
      if (!incident.empty()) sentIncidents_.insert(std::move(incident));
    }
  }
}

// --- The pending reports

std::shared_ptr<TLErrorReport> TLCrashReportProcessor::handleLatestCrashReport() {
  std::vector<std::string> paths;
  if (environment_.pendingCrashReportPaths) paths = environment_.pendingCrashReportPaths();
  if (paths.empty() || !claimCrashReports()) return nullptr;
  const BusyScope busy(*this);
  const std::optional<std::string> abandoned = takeAbandonedMarker(paths);
  std::shared_ptr<TLErrorReport> lastSession;
  for (const auto& path : paths) {
    if (abandoned && *abandoned == path) {
      TL_LOG_ERROR(kCrashesLogTag, "Error on loading the crash report, it will be purged.");
      purgePendingCrashReport(path);
      continue;
    }
    if (auto report = handlePendingCrashReport(path)) lastSession = std::move(report);
  }
  return lastSession;
}

std::optional<std::string> TLCrashReportProcessor::takeAbandonedMarker(const std::vector<std::string>& paths) {
  if (!TLUtilityFile::fileExistsForPathComponent(analyzerPathComponent_)) return std::nullopt;
  const auto content = TLUtilityFile::loadDataForPathComponent(analyzerPathComponent_);
  removeAnalyzerFile();
  const std::string text = content ? std::string(content->begin(), content->end()) : std::string();
  const std::string path = text.substr(0, text.find('\n'));
  // The report it names, when that very file is still pending; a marker of an older version names
  // nothing, and a report that came later under the same name is another one.
  if (!path.empty() && std::find(paths.begin(), paths.end(), path) != paths.end() && markerContent(path) == text) {
    return path;
  }
  TL_LOG_WARNING(kCrashesLogTag, "A crash analyzer marker was left behind for a report that is no longer pending; "
                                 "no report is purged for it.");
  return std::nullopt;
}

std::shared_ptr<TLErrorReport> TLCrashReportProcessor::handlePendingCrashReport(const std::string& path) {
  const std::string marker = markerContent(path);
  if (!TLUtilityFile::createFileAtPathComponent(
          analyzerPathComponent_,
          std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(marker.data()), marker.size()), false,
          true)) {
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't create crash analyzer file.");
  }
  std::optional<std::vector<std::uint8_t>> data;
  if (environment_.loadPendingCrashReport) data = environment_.loadPendingCrashReport(path);
  if (!data) {
    // Kept pending: a later launch may read it.
    removeAnalyzerFile();
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't load crash report: no pending report could be read at " << path);
    return nullptr;
  }
  auto report = crash::TLCrashReport::initWithData(*data);
  if (!report) {
    // It can never become a crash log.
    removeAnalyzerFile();
    TL_LOG_WARNING(kCrashesLogTag, "Couldn't parse crash report: " << report.error().description);
    purgePendingCrashReport(path);
    return nullptr;
  }
  auto lastSession = TLErrorLogFormatter::errorReportFromCrashReport(&report.value());
  const std::string incident = lastSession->incidentIdentifier().value_or("");
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({lastSession});
  bool done = false;
  if (wasSent(incident)) {
    // A report the reporter could not purge in an earlier run, sent then.
    TL_LOG_DEBUG(kCrashesLogTag, "The pending crash report was sent already, not storing it again: " << incident);
    done = true;
  } else {
    done = storeCrashReport(incident, *data);
  }
  removeAnalyzerFile();
  if (!done) {
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't store the crash report in the crashes folder, it stays pending for the next "
                                 "launch: "
                                     << incident);
    return lastSession;
  }
  if (!purgePendingCrashReport(path) && !incident.empty()) {
    // It stays with the reporter: once sent it must be recognised at the next launch.
    std::lock_guard guard(lock_);
    stuckPendingIncidents_.insert(incident);
  }
  return lastSession;
}

bool TLCrashReportProcessor::prepareCrashesFolder() {
  const auto url = TLUtilityFile::fullURLForPathComponent(crashesPathComponent_);
  if (!url) return false;
  const fs::path client = TLUtilityFile::clientDirectoryURL();
  if (const int error = crash::tlcrash_nasync_make_report_folders(client.string(), url->string()); error != 0) {
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't make the crashes folder " << url->string() << ": " << std::strerror(error));
    return false;
  }
  TLUtilityFile::disableBackupForDirectoryURL(*url);
  return true;
}

bool TLCrashReportProcessor::storeCrashReport(const std::string& incident, const std::vector<std::uint8_t>& data) {
  if (!prepareCrashesFolder()) return false;
  const std::span<const std::uint8_t> bytes(data);
  // Named by the incident: the same report stored twice (a pending report that could not be
  // purged, another launch on the same folder) meets its own copy. Any other name clash gets a
  // fresh name; a name is never taken over.
  std::string name = isFileNameSafe(incident) ? incident : foundation::Uuid::random().string();
  for (int attempt = 0; attempt < 2; ++attempt) {
    const std::string component = crashesPathComponent_ + "/" + name + std::string(kStoredReportExtension);
    const auto created = TLUtilityFile::createNewFileAtPathComponent(component, bytes);
    if (created.status == TLUtilityFile::NewFile::Status::created) return true;
    if (created.status == TLUtilityFile::NewFile::Status::failed) return false;
    if (TLUtilityFile::loadDataForPathComponent(component) == data) {
      TL_LOG_DEBUG(kCrashesLogTag, "The crash report is stored already: " << incident);
      return true;
    }
    name = foundation::Uuid::random().string();
  }
  return false;
}

// --- Processes sharing the folder

bool TLCrashReportProcessor::claimCrashReports() {
  const auto lockFile = TLUtilityFile::fullURLForPathComponent(crashesPathComponent_ + ".lock");
  if (!lockFile) return true;
  bool claimed = true;
  {
    std::lock_guard guard(lock_);
    claimed = claim_.tryClaim(*lockFile);
  }
  if (!claimed) {
    TL_LOG_INFO(kCrashesLogTag, "Another process of this data folder is handling its crash reports; they are left to it.");
  }
  return claimed;
}

void TLCrashReportProcessor::releaseClaimWhenIdle() {
  std::lock_guard guard(lock_);
  if (busy_ > 0 || !awaitingChannel_.empty() || (waiting_ && !waiting_->empty())) return;
  claim_.release();
}

TLCrashReportProcessor::BusyScope::BusyScope(TLCrashReportProcessor& processor) : processor_(processor) {
  std::lock_guard guard(processor_.lock_);
  ++processor_.busy_;
}

TLCrashReportProcessor::BusyScope::~BusyScope() {
  {
    std::lock_guard guard(processor_.lock_);
    --processor_.busy_;
  }
  processor_.releaseClaimWhenIdle();
}

bool TLCrashReportProcessor::purgePendingCrashReport(const std::string& path) {
  return environment_.purgePendingCrashReport ? environment_.purgePendingCrashReport(path) : true;
}

void TLCrashReportProcessor::removeAnalyzerFile() { TLUtilityFile::deleteItemForPathComponent(analyzerPathComponent_); }

std::vector<fs::path> TLCrashReportProcessor::persistedCrashReports() const {
  std::vector<fs::path> files;
  auto listing = TLUtilityFile::contentsOfDirectory(crashesPathComponent_);
  if (!listing) {
    TL_LOG_ERROR(kCrashesLogTag, "No persisted crashes found.");
    return files;
  }
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : *listing) {
    std::error_code error;
    const std::string name = entry.filename().string();
    const auto status = fs::symlink_status(entry, error);
    if (isTemporaryFile(name) && fs::is_regular_file(status)) {
      const auto written = fs::last_write_time(entry, error);
      if (!error && now - written > kTemporaryFileGrace) {
        TL_LOG_DEBUG(kCrashesLogTag, "Removing a temporary file an interrupted write left behind: " << name);
        TLUtilityFile::deleteFileAtURL(entry);
      }
      continue;
    }
    if (!fs::is_regular_file(status) || !isReportName(name)) continue;
    const auto size = fs::file_size(entry, error);
    if (error || size == 0 || size > static_cast<std::uintmax_t>(INT32_MAX)) continue;
    files.push_back(entry);
  }
  return files;
}

// --- The processing run

void TLCrashReportProcessor::processCrashReports() {
  if (environment_.isEnabled && !environment_.isEnabled()) {
    TL_LOG_DEBUG(kCrashesLogTag, "Crashes service is disabled; discard all crash reports");
    deleteAllFromCrashesDirectory();
    TLWrapperExceptionManager::deleteAllWrapperExceptions();
    return;
  }
  if (!claimCrashReports()) {
    std::lock_guard guard(lock_);
    waiting_.emplace();
    return;
  }
  const BusyScope busy(*this);
  std::vector<fs::path> files;
  bool automatic = true;
  {
    std::lock_guard guard(lock_);
    waiting_.emplace();
    automatic = automaticProcessingEnabled_;
    // A report whose log an earlier run handed to the channel is the channel's until it answers.
    for (const auto& url : crashFiles_) {
      const bool handedOver = std::any_of(awaitingChannel_.begin(), awaitingChannel_.end(),
                                          [&](const auto& entry) { return entry.second.url == url; });
      if (!handedOver) files.push_back(url);
    }
  }

  struct Decoded {
    fs::path url;
    crash::TLCrashReport report;
    std::shared_ptr<TLErrorReport> errorReport;
  };
  std::vector<Decoded> decoded;
  std::set<std::string> present;
  {
    std::lock_guard guard(lock_);
    present.insert(stuckPendingIncidents_.begin(), stuckPendingIncidents_.end());
  }
  for (const auto& url : files) {
    auto data = TLUtilityFile::loadDataForPathComponent(crashesPathComponent_ + "/" + url.filename().string());
    if (!data || data->empty()) continue;
    auto report = crash::TLCrashReport::initWithData(*data);
    if (!report) {
      TL_LOG_WARNING(kCrashesLogTag,
                     "Crash report found but couldn't parse it, discard the crash report: " << report.error().description);
      discardUnusableFile(url);
      continue;
    }
    auto errorReport = TLErrorLogFormatter::errorReportFromCrashReport(&report.value());
    const std::string incident = errorReport->incidentIdentifier().value_or("");
    if (wasSent(incident)) {
      // Sent in an earlier run; its file could not be removed then. Try again, and skip it.
      TL_LOG_DEBUG(kCrashesLogTag, "The crash report was sent already, skipping it: " << incident);
      if (removeCrashFile(url)) {
        removeFromCrashFiles(url);
      } else {
        present.insert(incident);
      }
      continue;
    }
    decoded.push_back(Decoded{url, std::move(report).value(), std::move(errorReport)});
  }
  forgetSentExcept(present);

  Reports reports;
  for (const auto& item : decoded) reports.push_back(item.errorReport);
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(reports);

  std::vector<WaitingCrash> kept;
  for (auto& item : decoded) {
    TL_LOG_VERBOSE(kCrashesLogTag, "Crash reports found");
    auto log = TLErrorLogFormatter::errorLogFromCrashReport(item.report);
    const std::string incident = item.errorReport->incidentIdentifier().value_or("");
    // The host's filter runs without the lock.
    if (automatic && environment_.shouldProcessErrorReport && !environment_.shouldProcessErrorReport(*item.errorReport)) {
      TL_LOG_DEBUG(kCrashesLogTag, "shouldProcessErrorReport returned NO, discard the crash report: " << incident);
      TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
      deleteCrashReportWithFileURL(item.url);
      removeFromCrashFiles(item.url);
      continue;
    }
    if (automatic) {
      TL_LOG_DEBUG(kCrashesLogTag,
                   "shouldProcessErrorReport is not implemented or returned YES, processing the crash report: " << incident);
    } else {
      TL_LOG_DEBUG(kCrashesLogTag,
                   "Automatic crash processing is disabled, storing the crash report for later processing: " << incident);
    }
    kept.push_back(WaitingCrash{item.url, std::move(log), item.errorReport, incident});
  }
  {
    std::lock_guard guard(lock_);
    waiting_.emplace(std::move(kept));
  }
  if (automatic) sendCrashReportsOrAwaitUserConfirmation();
}

// --- The decision

bool TLCrashReportProcessor::sendCrashReportsOrAwaitUserConfirmation() {
  const bool alwaysSend = environment_.shouldAlwaysSend && environment_.shouldAlwaysSend();
  Reports reports;
  bool automatic = true;
  {
    std::lock_guard guard(lock_);
    if (waiting_) {
      for (const auto& crash : *waiting_) reports.push_back(crash.report);
    }
    automatic = automaticProcessingEnabled_;
  }
  if (reports.empty()) return alwaysSend;
  if (alwaysSend) {
    TL_LOG_DEBUG(kCrashesLogTag, "The flag for user confirmation is set to TLUserConfirmationAlways, continue sending logs");
    handleUserConfirmation(TLUserConfirmation::send);
  } else if (automatic) {
    // The host's handler runs without the lock: it may answer at once, from any thread.
    if (!environment_.userConfirmationHandler || !environment_.userConfirmationHandler(reports)) {
      TL_LOG_DEBUG(kCrashesLogTag,
                   "The user confirmation handler is not implemented or returned NO, continue sending logs");
      handleUserConfirmation(TLUserConfirmation::send);
    }
  } else {
    TL_LOG_DEBUG(kCrashesLogTag,
                 "Automatic crash processing is disabled and \"AlwaysSend\" is false. Awaiting user confirmation.");
  }
  return alwaysSend;
}

bool TLCrashReportProcessor::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& incidentIdentifiers) {
  std::vector<WaitingCrash> dropped;
  {
    std::lock_guard guard(lock_);
    if (waiting_) {
      auto keep = std::stable_partition(waiting_->begin(), waiting_->end(), [&](const WaitingCrash& crash) {
        return std::find(incidentIdentifiers.begin(), incidentIdentifiers.end(), crash.incidentIdentifier) !=
               incidentIdentifiers.end();
      });
      std::move(keep, waiting_->end(), std::back_inserter(dropped));
      waiting_->erase(keep, waiting_->end());
    }
  }
  for (const auto& crash : dropped) {
    TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(crash.incidentIdentifier);
    deleteCrashReportWithFileURL(crash.url);
    removeFromCrashFiles(crash.url);
  }
  return sendCrashReportsOrAwaitUserConfirmation();
}

void TLCrashReportProcessor::notifyWithUserConfirmation(TLUserConfirmation confirmation) {
  bool hasRun = false;
  {
    std::lock_guard guard(lock_);
    hasRun = waiting_.has_value();
  }
  if (!environment_.userConfirmationHandler && !hasRun) {
    TL_LOG_ERROR(kCrashesLogTag,
                 "Incorrect usage of notifyWithUserConfirmation: it should only be called from userConfirmationHandler. "
                 "For more information refer to the documentation.");
    return;
  }
  handleUserConfirmation(confirmation);
}

std::vector<TLCrashReportProcessor::WaitingCrash> TLCrashReportProcessor::takeWaiting() {
  std::lock_guard guard(lock_);
  if (!waiting_) {
    waiting_.emplace();
    return {};
  }
  return std::exchange(*waiting_, {});
}

void TLCrashReportProcessor::handleUserConfirmation(TLUserConfirmation confirmation) {
  const BusyScope busy(*this);
  std::vector<WaitingCrash> crashes = takeWaiting();
  if (confirmation == TLUserConfirmation::dontSend) {
    for (const auto& crash : crashes) {
      deleteCrashReportWithFileURL(crash.url);
      TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(crash.incidentIdentifier);
      removeFromCrashFiles(crash.url);
    }
  } else {
    if (confirmation == TLUserConfirmation::always && environment_.setAlwaysSend) environment_.setAlwaysSend();
    for (auto& crash : crashes) sendCrash(crash);
  }
  if (environment_.clearContextHistory) environment_.clearContextHistory();
}

void TLCrashReportProcessor::sendCrash(WaitingCrash& crash) {
  std::optional<Attachments> attachments;
  if (environment_.attachmentsForErrorReport) attachments = environment_.attachmentsForErrorReport(*crash.report);
  if (!attachments) {
    TL_LOG_DEBUG(kCrashesLogTag, "attachmentsWithCrashes is not implemented");
    attachments.emplace();
  }
  const auto& log = crash.log;
  if (log->timestamp()) {
    log->setSid(environment_.sessionIdAt ? environment_.sessionIdAt(*log->timestamp()) : std::nullopt);
    log->setUserId(environment_.userIdAt ? environment_.userIdAt(*log->timestamp()) : std::nullopt);
  }
  if (!log->isValid()) {
    // The channel would refuse it in every run to come.
    TL_LOG_WARNING(kCrashesLogTag, "The crash log is not valid and can never be sent, discard the crash report: "
                                       << crash.incidentIdentifier);
    TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(crash.incidentIdentifier);
    discardUnusableFile(crash.url);
    return;
  }
  {
    // Registered before the hand-over: the channel may answer before enqueue returns.
    std::lock_guard guard(lock_);
    awaitingChannel_[log.get()] = AwaitingChannel{crash.url, crash.incidentIdentifier, false};
    awaitingLogs_.push_back(log);
  }
  if (environment_.enqueue) environment_.enqueue(log, kCriticalFlags);
  sendErrorAttachments(*attachments, crash.incidentIdentifier);
}

// --- The channel's answers

void TLCrashReportProcessor::didFailEnqueueingLog(const TLAbstractLog* log) {
  std::lock_guard guard(lock_);
  auto found = awaitingChannel_.find(log);
  if (found != awaitingChannel_.end()) found->second.refused = true;
}

void TLCrashReportProcessor::didCompleteEnqueueingLog(const TLAbstractLog* log) {
  AwaitingChannel entry;
  {
    std::lock_guard guard(lock_);
    auto found = awaitingChannel_.find(log);
    if (found == awaitingChannel_.end()) return;
    entry = std::move(found->second);
    awaitingChannel_.erase(found);
    std::erase_if(awaitingLogs_, [&](const auto& kept) { return kept.get() == log; });
  }
  if (entry.refused) {
    TL_LOG_WARNING(kCrashesLogTag, "The channel did not store the crash log, the crash report is kept for the next "
                                   "launch: "
                                       << entry.incidentIdentifier);
    releaseClaimWhenIdle();
    return;
  }
  bool stuckPending = false;
  {
    std::lock_guard guard(lock_);
    stuckPending = stuckPendingIncidents_.contains(entry.incidentIdentifier);
  }
  if (!removeCrashFile(entry.url) || stuckPending) {
    // The report stays on disk: remembered, so that it goes out once.
    rememberSent(entry.incidentIdentifier);
  }
  TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(entry.incidentIdentifier);
  removeFromCrashFiles(entry.url);
  releaseClaimWhenIdle();
}

std::size_t TLCrashReportProcessor::logsAwaitingChannel() const {
  std::lock_guard guard(lock_);
  return awaitingChannel_.size();
}

// --- Attachments

void TLCrashReportProcessor::sendErrorAttachments(const Attachments& attachments, const std::string& incidentIdentifier) {
  unsigned count = 0;
  for (const auto& attachment : attachments) {
    if (!attachment) continue;
    attachment->errorId = incidentIdentifier;
    if (validatePropertiesForAttachment(*attachment)) {
      if (environment_.enqueue) environment_.enqueue(attachment, kNormalFlags);
      ++count;
    } else {
      TL_LOG_ERROR(kCrashesLogTag, "Not all required fields are present in TLErrorAttachmentLog.");
    }
  }
  if (count > 2) {
    TL_LOG_WARNING(kCrashesLogTag, "A limit of " << 2u << " attachments per error report might be enforced by server.");
  }
}

bool TLCrashReportProcessor::validatePropertiesForAttachment(const TLErrorAttachmentLog& attachment) {
  return attachment.errorId && !attachment.errorId->empty() && attachment.attachmentId &&
         !attachment.attachmentId->empty() && attachment.data && !attachment.data->empty() && attachment.contentType &&
         !attachment.contentType->empty();
}

// --- Files

void TLCrashReportProcessor::deleteAllFromCrashesDirectory() {
  if (TLUtilityFile::fileExistsForPathComponent(crashesPathComponent_) &&
      !TLUtilityFile::deleteItemForPathComponent(crashesPathComponent_)) {
    TL_LOG_ERROR(kCrashesLogTag, "Couldn't delete the crashes folder: " << crashesPathComponent_);
  }
  std::lock_guard guard(lock_);
  crashFiles_.clear();
}

void TLCrashReportProcessor::deleteCrashReportWithFileURL(const fs::path& url) { removeCrashFile(url); }

bool TLCrashReportProcessor::removeCrashFile(const fs::path& url) {
  if (TLUtilityFile::deleteFileAtURL(url)) return true;
  std::error_code error;
  if (!fs::exists(fs::symlink_status(url, error))) return true;  // gone already
  TL_LOG_ERROR(kCrashesLogTag, "Couldn't delete the crash report file: " << url.string());
  return false;
}

void TLCrashReportProcessor::clearUnprocessedReports() {
  std::lock_guard guard(lock_);
  if (waiting_) waiting_->clear();
}

void TLCrashReportProcessor::removeFromCrashFiles(const fs::path& url) {
  std::lock_guard guard(lock_);
  std::erase(crashFiles_, url);
}

void TLCrashReportProcessor::discardUnusableFile(const fs::path& url) {
  removeCrashFile(url);
  removeFromCrashFiles(url);
}

void TLCrashReportProcessor::setCrashFiles(std::vector<fs::path> files) {
  std::lock_guard guard(lock_);
  crashFiles_ = std::move(files);
}

std::vector<fs::path> TLCrashReportProcessor::crashFiles() const {
  std::lock_guard guard(lock_);
  return crashFiles_;
}

void TLCrashReportProcessor::setAutomaticProcessingEnabled(bool enabled) {
  std::lock_guard guard(lock_);
  automaticProcessingEnabled_ = enabled;
}

bool TLCrashReportProcessor::isAutomaticProcessingEnabled() const {
  std::lock_guard guard(lock_);
  return automaticProcessingEnabled_;
}

std::optional<TLCrashReportProcessor::Reports> TLCrashReportProcessor::unprocessedReports() const {
  std::lock_guard guard(lock_);
  if (!waiting_) return std::nullopt;
  Reports reports;
  for (const auto& crash : *waiting_) reports.push_back(crash.report);
  return reports;
}

// --- Sent crashes whose report stays

bool TLCrashReportProcessor::wasSent(const std::string& incidentIdentifier) const {
  std::lock_guard guard(lock_);
  return !incidentIdentifier.empty() && sentIncidents_.contains(incidentIdentifier);
}

std::set<std::string> TLCrashReportProcessor::sentIncidents() const {
  std::lock_guard guard(lock_);
  return sentIncidents_;
}

void TLCrashReportProcessor::rememberSent(const std::string& incidentIdentifier) {
  if (incidentIdentifier.empty()) return;
  std::set<std::string> incidents;
  {
    std::lock_guard guard(lock_);
    if (!sentIncidents_.insert(incidentIdentifier).second) return;
    incidents = sentIncidents_;
  }
  TL_LOG_WARNING(kCrashesLogTag, "The sent crash report could not be removed; it is remembered so that it is not "
                                 "sent again: "
                                     << incidentIdentifier);
  storeSentIncidents(std::move(incidents));
}

void TLCrashReportProcessor::forgetSentExcept(const std::set<std::string>& present) {
  std::set<std::string> incidents;
  {
    std::lock_guard guard(lock_);
    const std::size_t before = sentIncidents_.size();
    std::erase_if(sentIncidents_, [&](const std::string& incident) { return !present.contains(incident); });
    if (sentIncidents_.size() == before) return;
    incidents = sentIncidents_;
  }
  storeSentIncidents(std::move(incidents));
}

void TLCrashReportProcessor::storeSentIncidents(std::set<std::string> incidents) {
  if (environment_.storeSentIncidents) environment_.storeSentIncidents({incidents.begin(), incidents.end()});
}

}  // namespace ml::beacon

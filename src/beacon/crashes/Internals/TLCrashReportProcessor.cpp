#include "beacon/crashes/Internals/TLCrashReportProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtilityFile.h"
#include "beacon/crashes/TLCrashesLog.h"
#include "beacon/crashes/Util/TLErrorLogFormatter.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperExceptionManager.h"
#include "crashreporter/CrashReport.h"
#include "platform/foundation/Dates.h"

namespace ml::beacon {

namespace {

namespace fs = std::filesystem;

bool isSideFile(const std::string& name) {
  // The backup-exclusion tag the client folder utility writes into every folder it creates.
  if (name == TLUtilityFile::kCacheDirTagName) return true;
  static constexpr std::string_view kSuffixes[] = {".DS_Store", ".analyzer", ".plist", ".data", ".meta", ".desc"};
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes), [&](std::string_view suffix) {
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  });
}

}  // namespace

TLCrashReportProcessor::TLCrashReportProcessor(Environment environment, std::string crashesPathComponent)
    : environment_(std::move(environment)),
      crashesPathComponent_(std::move(crashesPathComponent)),
      analyzerPathComponent_(crashesPathComponent_ + "/" + kAnalyzerFileName) {
  if (!environment_.now) environment_.now = [] { return std::chrono::system_clock::now(); };
}

std::shared_ptr<TLErrorReport> TLCrashReportProcessor::handleLatestCrashReport() {
  std::shared_ptr<TLErrorReport> lastSession;
  if (TLUtilityFile::fileExistsForPathComponent(analyzerPathComponent_)) {
    TL_LOG_ERROR(kCrashesLogTag, "Error on loading the crash report, it will be purged.");
  } else {
    if (!TLUtilityFile::createFileAtPathComponent(analyzerPathComponent_, std::nullopt, false, false)) {
      TL_LOG_ERROR(kCrashesLogTag, "Couldn't create crash analyzer file.");
    }
    std::optional<std::vector<std::uint8_t>> data;
    if (environment_.loadPendingCrashReport) data = environment_.loadPendingCrashReport();
    if (!data) {
      TL_LOG_ERROR(kCrashesLogTag, "Couldn't load crash report: no pending report could be read");
    } else {
      auto report = crash::TLCrashReport::initWithData(*data);
      if (!report) {
        TL_LOG_WARNING(kCrashesLogTag, "Couldn't parse crash report: " << report.error().description);
      } else {
        char name[64];
        std::snprintf(name, sizeof name, "%.0f", foundation::Dates::timeIntervalSinceReferenceDate(environment_.now()));
        TLUtilityFile::createFileAtPathComponent(crashesPathComponent_ + "/" + name,
                                                 std::span<const std::uint8_t>(*data), true, false);
        lastSession = TLErrorLogFormatter::errorReportFromCrashReport(&report.value());
        TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({lastSession});
      }
    }
  }
  removeAnalyzerFile();
  if (environment_.purgePendingCrashReport) environment_.purgePendingCrashReport();
  return lastSession;
}

void TLCrashReportProcessor::removeAnalyzerFile() { TLUtilityFile::deleteItemForPathComponent(analyzerPathComponent_); }

std::vector<fs::path> TLCrashReportProcessor::persistedCrashReports() const {
  std::vector<fs::path> files;
  auto listing = TLUtilityFile::contentsOfDirectory(crashesPathComponent_);
  if (!listing) {
    TL_LOG_ERROR(kCrashesLogTag, "No persisted crashes found.");
    return files;
  }
  for (const auto& entry : *listing) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(entry, error))) continue;
    const auto size = fs::file_size(entry, error);
    if (error || size == 0 || size > static_cast<std::uintmax_t>(INT32_MAX)) continue;
    if (isSideFile(entry.filename().string())) continue;
    files.push_back(entry);
  }
  return files;
}

void TLCrashReportProcessor::processCrashReports() {
  if (environment_.isEnabled && !environment_.isEnabled()) {
    TL_LOG_DEBUG(kCrashesLogTag, "Crashes service is disabled; discard all crash reports");
    deleteAllFromCrashesDirectory();
    TLWrapperExceptionManager::deleteAllWrapperExceptions();
    return;
  }
  unprocessedReports_.emplace();
  unprocessedLogs_.emplace();
  unprocessedFilePaths_.emplace();

  struct Decoded {
    fs::path url;
    crash::TLCrashReport report;
    std::shared_ptr<TLErrorReport> errorReport;
  };
  std::vector<Decoded> decoded;
  const std::vector<fs::path> files = crashFiles_;  // discarding a file changes crashFiles_
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
    decoded.push_back(Decoded{url, std::move(report).value(), std::move(errorReport)});
  }
  Reports reports;
  for (const auto& item : decoded) reports.push_back(item.errorReport);
  TLWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport(reports);

  for (auto& item : decoded) {
    TL_LOG_VERBOSE(kCrashesLogTag, "Crash reports found");
    auto log = TLErrorLogFormatter::errorLogFromCrashReport(item.report);
    const std::string incident = item.errorReport->incidentIdentifier().value_or("");
    if (automaticProcessingEnabled_ && environment_.shouldProcessErrorReport &&
        !environment_.shouldProcessErrorReport(*item.errorReport)) {
      TL_LOG_DEBUG(kCrashesLogTag, "shouldProcessErrorReport returned NO, discard the crash report: " << incident);
      TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
      deleteCrashReportWithFileURL(item.url);
      removeFromCrashFiles(item.url);
      continue;
    }
    if (automaticProcessingEnabled_) {
      TL_LOG_DEBUG(kCrashesLogTag,
                   "shouldProcessErrorReport is not implemented or returned YES, processing the crash report: " << incident);
    } else {
      TL_LOG_DEBUG(kCrashesLogTag,
                   "Automatic crash processing is disabled, storing the crash report for later processing: " << incident);
    }
    unprocessedLogs_->push_back(std::move(log));
    unprocessedReports_->push_back(item.errorReport);
    unprocessedFilePaths_->push_back(item.url);
  }
  if (automaticProcessingEnabled_) sendCrashReportsOrAwaitUserConfirmation();
}

bool TLCrashReportProcessor::sendCrashReportsOrAwaitUserConfirmation() {
  const bool alwaysSend = environment_.shouldAlwaysSend && environment_.shouldAlwaysSend();
  if (!unprocessedReports_ || unprocessedReports_->empty()) return alwaysSend;
  if (alwaysSend) {
    TL_LOG_DEBUG(kCrashesLogTag, "The flag for user confirmation is set to TLUserConfirmationAlways, continue sending logs");
    handleUserConfirmation(TLUserConfirmation::send);
  } else if (automaticProcessingEnabled_) {
    if (!environment_.userConfirmationHandler || !environment_.userConfirmationHandler(*unprocessedReports_)) {
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
  if (unprocessedReports_) {
    std::vector<size_t> dropped;
    for (size_t i = 0; i < unprocessedReports_->size(); ++i) {
      const std::string incident = (*unprocessedReports_)[i]->incidentIdentifier().value_or("");
      if (std::find(incidentIdentifiers.begin(), incidentIdentifiers.end(), incident) != incidentIdentifiers.end()) {
        continue;
      }
      dropped.push_back(i);
      TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
      deleteCrashReportWithFileURL((*unprocessedFilePaths_)[i]);
      removeFromCrashFiles((*unprocessedFilePaths_)[i]);
    }
    for (auto i = dropped.rbegin(); i != dropped.rend(); ++i) {
      unprocessedReports_->erase(unprocessedReports_->begin() + static_cast<std::ptrdiff_t>(*i));
      unprocessedLogs_->erase(unprocessedLogs_->begin() + static_cast<std::ptrdiff_t>(*i));
      unprocessedFilePaths_->erase(unprocessedFilePaths_->begin() + static_cast<std::ptrdiff_t>(*i));
    }
  }
  return sendCrashReportsOrAwaitUserConfirmation();
}

void TLCrashReportProcessor::notifyWithUserConfirmation(TLUserConfirmation confirmation) {
  if (!environment_.userConfirmationHandler && !unprocessedReports_) {
    TL_LOG_ERROR(kCrashesLogTag,
                 "Incorrect usage of notifyWithUserConfirmation: it should only be called from userConfirmationHandler. "
                 "For more information refer to the documentation.");
    return;
  }
  handleUserConfirmation(confirmation);
}

void TLCrashReportProcessor::handleUserConfirmation(TLUserConfirmation confirmation) {
  if (!unprocessedReports_) {
    unprocessedReports_.emplace();
    unprocessedLogs_.emplace();
    unprocessedFilePaths_.emplace();
  }
  if (confirmation == TLUserConfirmation::dontSend) {
    for (size_t i = 0; i < unprocessedFilePaths_->size(); ++i) {
      deleteCrashReportWithFileURL((*unprocessedFilePaths_)[i]);
      TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(
          (*unprocessedReports_)[i]->incidentIdentifier().value_or(""));
      removeFromCrashFiles((*unprocessedFilePaths_)[i]);
    }
  } else {
    if (confirmation == TLUserConfirmation::always && environment_.setAlwaysSend) environment_.setAlwaysSend();
    for (size_t i = 0; i < unprocessedReports_->size(); ++i) {
      const auto& log = (*unprocessedLogs_)[i];
      const auto& report = (*unprocessedReports_)[i];
      const auto& url = (*unprocessedFilePaths_)[i];
      std::optional<Attachments> attachments;
      if (environment_.attachmentsForErrorReport) attachments = environment_.attachmentsForErrorReport(*report);
      if (!attachments) {
        TL_LOG_DEBUG(kCrashesLogTag, "attachmentsWithCrashes is not implemented");
        attachments.emplace();
      }
      if (log->timestamp()) {
        log->setSid(environment_.sessionIdAt ? environment_.sessionIdAt(*log->timestamp()) : std::nullopt);
        log->setUserId(environment_.userIdAt ? environment_.userIdAt(*log->timestamp()) : std::nullopt);
      }
      const std::string incident = report->incidentIdentifier().value_or("");
      if (!log->isValid()) {
        // The channel would refuse it in every run to come.
        TL_LOG_WARNING(kCrashesLogTag, "The crash log is not valid and can never be sent, discard the crash report: "
                                           << incident);
        TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(incident);
        discardUnusableFile(url);
        continue;
      }
      // Registered before the hand-over: the channel may answer before enqueue returns.
      awaitingChannel_[log.get()] = AwaitingChannel{url, incident, false};
      awaitingLogs_.push_back(log);
      if (environment_.enqueue) environment_.enqueue(log, kCriticalFlags);
      sendErrorAttachments(*attachments, incident);
    }
  }
  clearUnprocessedReports();
  if (environment_.clearContextHistory) environment_.clearContextHistory();
}

void TLCrashReportProcessor::didFailEnqueueingLog(const TLAbstractLog* log) {
  auto found = awaitingChannel_.find(log);
  if (found != awaitingChannel_.end()) found->second.refused = true;
}

void TLCrashReportProcessor::didCompleteEnqueueingLog(const TLAbstractLog* log) {
  auto found = awaitingChannel_.find(log);
  if (found == awaitingChannel_.end()) return;
  const AwaitingChannel entry = std::move(found->second);
  awaitingChannel_.erase(found);
  std::erase_if(awaitingLogs_, [&](const auto& kept) { return kept.get() == log; });
  if (entry.refused) {
    TL_LOG_WARNING(kCrashesLogTag, "The channel did not store the crash log, the crash report is kept for the next "
                                   "launch: "
                                       << entry.incidentIdentifier);
    return;
  }
  deleteCrashReportWithFileURL(entry.url);
  TLWrapperExceptionManager::deleteWrapperExceptionWithUUIDString(entry.incidentIdentifier);
  removeFromCrashFiles(entry.url);
}

void TLCrashReportProcessor::discardUnusableFile(const fs::path& url) {
  deleteCrashReportWithFileURL(url);
  removeFromCrashFiles(url);
}

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

void TLCrashReportProcessor::deleteAllFromCrashesDirectory() {
  TLUtilityFile::deleteItemForPathComponent(crashesPathComponent_);
  crashFiles_.clear();
}

void TLCrashReportProcessor::deleteCrashReportWithFileURL(const fs::path& url) { TLUtilityFile::deleteFileAtURL(url); }

void TLCrashReportProcessor::clearUnprocessedReports() {
  if (unprocessedReports_) unprocessedReports_->clear();
  if (unprocessedLogs_) unprocessedLogs_->clear();
  if (unprocessedFilePaths_) unprocessedFilePaths_->clear();
}

void TLCrashReportProcessor::removeFromCrashFiles(const fs::path& url) {
  crashFiles_.erase(std::remove(crashFiles_.begin(), crashFiles_.end(), url), crashFiles_.end());
}

}  // namespace ml::beacon

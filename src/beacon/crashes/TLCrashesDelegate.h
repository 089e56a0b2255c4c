#pragma once
// What a host may hear and decide about crash reports. Every method has a default that stands for
// "not implemented": reports are processed, sent without attachments, and the send outcome goes
// unheard. Called on the processing queue (filter, attachments) or on the channel's queue (send
// outcome).
#include <memory>
#include <optional>
#include <vector>

#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "beacon/crashes/Model/TLErrorReport.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLCrashes;

class TLCrashesDelegate {
 public:
  using Attachments = std::vector<std::shared_ptr<TLErrorAttachmentLog>>;

  virtual ~TLCrashesDelegate() = default;

  // False deletes the report unsent.
  virtual bool crashesShouldProcessErrorReport(TLCrashes& crashes, const TLErrorReport& report) {
    (void)crashes;
    (void)report;
    return true;
  }
  virtual void crashesWillSendErrorReport(TLCrashes& crashes, const TLErrorReport& report) {
    (void)crashes;
    (void)report;
  }
  virtual void crashesDidSucceedSendingErrorReport(TLCrashes& crashes, const TLErrorReport& report) {
    (void)crashes;
    (void)report;
  }
  virtual void crashesDidFailSendingErrorReport(TLCrashes& crashes, const TLErrorReport& report,
                                                const std::optional<foundation::Error>& error) {
    (void)crashes;
    (void)report;
    (void)error;
  }
  // Nothing: not implemented.
  virtual std::optional<Attachments> attachmentsWithCrashes(TLCrashes& crashes, const TLErrorReport& report) {
    (void)crashes;
    (void)report;
    return std::nullopt;
  }
};

// The set-up hooks of a wrapper SDK around the installation of the crash handlers.
class TLCrashHandlerSetupDelegate {
 public:
  virtual ~TLCrashHandlerSetupDelegate() = default;
  virtual void willSetUpCrashHandlers() {}
  // Nothing: not implemented (the hook is installed).
  virtual std::optional<bool> shouldEnableUncaughtExceptionHandler() { return std::nullopt; }
  virtual void didSetUpCrashHandlers() {}
};

}  // namespace ml::beacon

#pragma once
// The entry points a wrapper SDK (a binding of the client for another runtime) uses to take part
// in crash handling: its set-up hooks around the installation of the crash handlers, turning
// automatic processing off, and reading, filtering and completing the unprocessed reports itself.
// Thread-safe; the set-up delegate is held weakly.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "beacon/crashes/TLCrashesDelegate.h"

namespace ml::beacon {

class TLWrapperCrashesHelper {
 public:
  static TLWrapperCrashesHelper& sharedInstance();

  static void setCrashHandlerSetupDelegate(std::shared_ptr<TLCrashHandlerSetupDelegate> delegate);
  static std::shared_ptr<TLCrashHandlerSetupDelegate> getCrashHandlerSetupDelegate();
  // On the crashes service: false keeps processed reports waiting for the wrapper.
  static void setAutomaticProcessing(bool enabled);
  // Blocks until the service's first processing run of this process is over.
  static std::vector<std::shared_ptr<TLErrorReport>> unprocessedCrashReports();
  static bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& incidentIdentifiers);
  static void sendErrorAttachments(const std::vector<std::shared_ptr<TLErrorAttachmentLog>>& attachments,
                                   const std::string& incidentIdentifier);

 private:
  mutable std::mutex lock_;
  std::weak_ptr<TLCrashHandlerSetupDelegate> crashHandlerSetupDelegate_;
};

}  // namespace ml::beacon

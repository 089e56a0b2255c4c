#include "beacon/crashes/WrapperSDKUtilities/TLWrapperCrashesHelper.h"

#include "beacon/core/TLNeverDestroyed.h"
#include "beacon/crashes/TLCrashes.h"

namespace ml::beacon {

TLWrapperCrashesHelper& TLWrapperCrashesHelper::sharedInstance() {
  static TLNeverDestroyed<TLWrapperCrashesHelper> helper;
  return helper.get();
}

void TLWrapperCrashesHelper::setCrashHandlerSetupDelegate(std::shared_ptr<TLCrashHandlerSetupDelegate> delegate) {
  auto& helper = sharedInstance();
  std::lock_guard guard(helper.lock_);
  helper.crashHandlerSetupDelegate_ = delegate;
}

std::shared_ptr<TLCrashHandlerSetupDelegate> TLWrapperCrashesHelper::getCrashHandlerSetupDelegate() {
  auto& helper = sharedInstance();
  std::lock_guard guard(helper.lock_);
  return helper.crashHandlerSetupDelegate_.lock();
}

void TLWrapperCrashesHelper::setAutomaticProcessing(bool enabled) {
  TLCrashes::sharedInstance()->setAutomaticProcessingEnabled(enabled);
}

std::vector<std::shared_ptr<TLErrorReport>> TLWrapperCrashesHelper::unprocessedCrashReports() {
  return TLCrashes::sharedInstance()->unprocessedCrashReports();
}

bool TLWrapperCrashesHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& incidentIdentifiers) {
  return TLCrashes::sharedInstance()->sendCrashReportsOrAwaitUserConfirmationForFilteredIds(incidentIdentifiers);
}

void TLWrapperCrashesHelper::sendErrorAttachments(const std::vector<std::shared_ptr<TLErrorAttachmentLog>>& attachments,
                                                  const std::string& incidentIdentifier) {
  TLCrashes::sharedInstance()->sendErrorAttachmentsInstance(attachments, incidentIdentifier);
}

}  // namespace ml::beacon

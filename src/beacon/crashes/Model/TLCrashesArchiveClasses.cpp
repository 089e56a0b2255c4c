#include "beacon/crashes/Model/TLCrashesArchiveClasses.h"

#include "beacon/core/Context/TLArchivedArray.h"
#include "beacon/core/TLArchiveClasses.h"
#include "beacon/crashes/Model/TLAppleErrorLog.h"
#include "beacon/crashes/Model/TLErrorAttachmentLog.h"
#include "beacon/crashes/Model/TLHandledErrorLog.h"
#include "beacon/crashes/WrapperSDKUtilities/TLWrapperException.h"

namespace ml::beacon {

void registerCrashesArchiveClasses() {
  TLArchiveClasses::add<TLArchivedArray>();
  TLArchiveClasses::add<TLStackFrame>();
  TLArchiveClasses::add<TLException>();
  TLArchiveClasses::add<TLThread>();
  TLArchiveClasses::add<TLBinary>();
  TLArchiveClasses::add<TLAppleErrorLog>();
  TLArchiveClasses::add<TLHandledErrorLog>();
  TLArchiveClasses::add<TLErrorAttachmentLog>();
  TLArchiveClasses::add<TLWrapperException>();
}

}  // namespace ml::beacon

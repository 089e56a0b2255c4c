#pragma once
// Hears the send outcome of the analytics service's event and page logs. Every callback has an
// empty default, so a delegate implements only what it needs. Called on the channel's queue.
#include <memory>
#include <optional>

#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLAnalytics;
class TLEventLog;
class TLPageLog;

class TLAnalyticsDelegate {
 public:
  virtual ~TLAnalyticsDelegate() = default;

  virtual void analyticsWillSendEventLog(TLAnalytics& analytics, const std::shared_ptr<TLEventLog>& eventLog) {
    (void)analytics;
    (void)eventLog;
  }
  virtual void analyticsDidSucceedSendingEventLog(TLAnalytics& analytics, const std::shared_ptr<TLEventLog>& eventLog) {
    (void)analytics;
    (void)eventLog;
  }
  virtual void analyticsDidFailSendingEventLog(TLAnalytics& analytics, const std::shared_ptr<TLEventLog>& eventLog,
                                               const std::optional<foundation::Error>& error) {
    (void)analytics;
    (void)eventLog;
    (void)error;
  }
  virtual void analyticsWillSendPageLog(TLAnalytics& analytics, const std::shared_ptr<TLPageLog>& pageLog) {
    (void)analytics;
    (void)pageLog;
  }
  virtual void analyticsDidSucceedSendingPageLog(TLAnalytics& analytics, const std::shared_ptr<TLPageLog>& pageLog) {
    (void)analytics;
    (void)pageLog;
  }
  virtual void analyticsDidFailSendingPageLog(TLAnalytics& analytics, const std::shared_ptr<TLPageLog>& pageLog,
                                              const std::optional<foundation::Error>& error) {
    (void)analytics;
    (void)pageLog;
    (void)error;
  }
};

}  // namespace ml::beacon

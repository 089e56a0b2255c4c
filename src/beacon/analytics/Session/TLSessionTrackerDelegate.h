#pragma once
// Receives the start-session logs of the session tracker (the analytics service sends them).
#include <memory>

namespace ml::beacon {

class TLAbstractLog;
class TLSessionTracker;

class TLSessionTrackerDelegate {
 public:
  virtual ~TLSessionTrackerDelegate() = default;
  virtual void sessionTrackerProcessLog(TLSessionTracker& tracker, const std::shared_ptr<TLAbstractLog>& log) = 0;
};

}  // namespace ml::beacon

#pragma once
// Announces a new usage session; its session id is the new session's, set by the session tracker
// (the channel's prepare step must not overwrite it). Type "startSession".
#include "beacon/core/TLAbstractLog.h"
#include "beacon/core/TLLog.h"

namespace ml::beacon {

class TLStartSessionLog : public TLAbstractLog, public TLNoAutoAssignSessionIdLog {
 public:
  static constexpr std::string_view kType = "startSession";
  TLStartSessionLog() { setType(std::string(kType)); }

  static constexpr std::string_view kClassName = "TLStartSessionLog";
  std::string_view className() const override { return kClassName; }
  bool isEqual(const TLSerializableObject& other) const override {
    return dynamic_cast<const TLStartSessionLog*>(&other) && TLAbstractLog::isEqual(other);
  }
};

}  // namespace ml::beacon

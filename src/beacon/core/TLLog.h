#pragma once
// Marker a log type adopts when the session tracker must not stamp the current session id into it
// (it keeps the session id it was given).
namespace ml::beacon {

class TLNoAutoAssignSessionIdLog {
 public:
  virtual ~TLNoAutoAssignSessionIdLog() = default;
};

}  // namespace ml::beacon

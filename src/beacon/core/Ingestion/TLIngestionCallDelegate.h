#pragma once
// What an ingestion call reports to its ingestion: "send me (again)" and "I ended with this
// result". Implemented by TLHttpIngestion.
#include <memory>

namespace ml::beacon {

class TLIngestionCall;

// How a call ended: answered (whatever the status, once no retry is pending), a recoverable
// failure after the last retry, or a fatal failure.
enum class TLIngestionCallResult : int { success = 100, recoverableError = 500, fatalError = 999 };

class TLIngestionCallDelegate {
 public:
  virtual ~TLIngestionCallDelegate() = default;
  virtual void sendCallAsync(const std::shared_ptr<TLIngestionCall>& call) = 0;
  virtual void callCompletedWithResult(const std::shared_ptr<TLIngestionCall>& call, TLIngestionCallResult result) = 0;
};

}  // namespace ml::beacon

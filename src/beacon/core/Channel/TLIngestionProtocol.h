#pragma once
// What the channel units need of an ingestion (the sender of log batches): send a batch with an
// optional auth token and hear its outcome once, its listeners, its pause state, whether it can
// send at all (an app secret, for example), and the switch. Implemented by the HTTP ingestions.
//
// Threads: every member may be called from any thread. The completion runs on the ingestion's
// own thread (no lock held): a caller hands the outcome over to its own queue and never waits
// there for a thread that may be waiting for the ingestion.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/Channel/TLEnable.h"
#include "beacon/core/Channel/TLIngestionDelegate.h"
#include "platform/foundation/Result.h"

namespace ml::beacon {

class TLLogContainer;

// The end of one send: the call id (the batch id for log batches), the HTTP status of the
// answer (none when no answer arrived), the answer's body, and the error (a transport error, or
// the client's error for an answer other than 200; none for 200).
using TLIngestionCompletion =
    std::function<void(const std::string& callId, std::optional<int> statusCode, const std::vector<std::uint8_t>& data,
                       const std::optional<foundation::Error>& error)>;

class TLIngestionProtocol : public TLEnable {
 public:
  // Sends the batch; the completion is called once when the call ends (after any retries), and
  // not at all for a call dropped by switching the ingestion off with deletion.
  virtual void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& authToken,
                         TLIngestionCompletion completionHandler) = 0;
  // Listeners are held weakly.
  virtual void addDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) = 0;
  virtual void removeDelegate(const std::shared_ptr<TLIngestionDelegate>& delegate) = 0;
  virtual void pause() = 0;
  virtual void resume() = 0;
  virtual bool isPaused() const = 0;
  // False while a request could not be built (no app secret, for example).
  virtual bool isReadyToSend() const = 0;
};

}  // namespace ml::beacon

#pragma once
// A session sends HTTP requests and reports each transfer's end once, through its completion, on
// the session's own serial delivery queue: completions never run on the caller's thread or inside
// start(), and run one at a time in the order the transfers ended.
//
// Thread-safe: every member may be called from any thread, also from inside a completion.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/net/HttpRequest.h"
#include "platform/net/HttpResponse.h"

namespace ml::net {

using HttpTaskId = std::uint64_t;

struct HttpSessionConfiguration {
  // Bound on each whole exchange (connecting, sending, waiting, reading), unless the request
  // sets its own.
  dispatch::Duration requestTimeout = std::chrono::seconds(60);
  // Connections kept open to one host at a time; further transfers to it wait for a free one.
  std::size_t maxConnectionsPerHost = 4;
  // Answers larger than this fail with dataLengthExceedsMaximum instead of filling memory.
  std::size_t maxResponseBodyBytes = 4 * 1024 * 1024;
  // Label of the delivery queue (thread name).
  std::string delegateQueueLabel = "org.marrowlane.net.session";
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;

  // Starts a transfer. Its completion runs exactly once, later, on the delivery queue: with the
  // answer, with a transport error, or with `cancelled`. After invalidation it completes at once
  // (still on the delivery queue) with `cancelled`.
  virtual HttpTaskId start(HttpRequest request, HttpCompletion completion) = 0;
  // Ends a running transfer with `cancelled`; nothing for a finished or unknown one.
  virtual void cancel(HttpTaskId task) = 0;
  // Cancels every running transfer and refuses new ones.
  virtual void invalidateAndCancel() = 0;
  // Refuses new transfers; running ones go on to their end.
  virtual void finishTasksAndInvalidate() = 0;
};

using HttpSessionFactory = std::function<std::shared_ptr<HttpSession>(const HttpSessionConfiguration&)>;

}  // namespace ml::net

#pragma once
// The HTTP session of this program: libcurl's multi interface driven by one worker thread per
// session, with real TLS (the system's certificate store), HTTP/1.1 and HTTP/2, connection reuse
// across transfers, at most `maxConnectionsPerHost` connections to one host, no redirects
// followed (an answer is reported as it came), no cookies, and gzip/deflate answers decoded.
// Completions run on the session's serial delivery queue (see HttpSession).
//
// Destruction cancels whatever still runs (those completions run, with `cancelled`, before the
// destructor returns unless it is called from the delivery queue itself) and joins the worker.
#include <memory>

#include "platform/net/HttpSession.h"

namespace ml::net {

class CurlHttpSession final : public HttpSession {
 public:
  explicit CurlHttpSession(HttpSessionConfiguration configuration = {});
  ~CurlHttpSession() override;
  CurlHttpSession(const CurlHttpSession&) = delete;
  CurlHttpSession& operator=(const CurlHttpSession&) = delete;

  static std::shared_ptr<HttpSession> make(const HttpSessionConfiguration& configuration);
  // Sets up the transfer library once per process. Sessions do it themselves; a caller that makes
  // them later on a worker thread calls this first on a thread that ends with the process (the
  // main thread), so the per-thread state the set-up leaves belongs to one the library's own exit
  // handler cleans up.
  static void initialiseLibrary();

  HttpTaskId start(HttpRequest request, HttpCompletion completion) override;
  void cancel(HttpTaskId task) override;
  void invalidateAndCancel() override;
  void finishTasksAndInvalidate() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ml::net

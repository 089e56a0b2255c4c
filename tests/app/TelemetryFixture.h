#pragma once
// What the end-to-end telemetry tests share: a sandbox of XDG folders (runtime folder included)
// that this process and its children both use, a loopback ingestion server, the logs the server
// received (either endpoint, gzip undone), and the logs the client's store holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

namespace ml::test {

inline constexpr const char* kAppSecret = "5c2e9a417d3b4f08b6e12a9d04c7f3e5";

// One log as the server received it, with the request that carried it.
struct ReceivedLog {
  nlohmann::json log;
  ReceivedHttpRequest request;
};

class TelemetrySandbox {
 public:
  TelemetrySandbox();
  ~TelemetrySandbox();
  TelemetrySandbox(const TelemetrySandbox&) = delete;
  TelemetrySandbox& operator=(const TelemetrySandbox&) = delete;

  const std::filesystem::path& root() const { return xdg_.root(); }
  // The variables a child needs to live in the sandbox, offscreen, sending to `logUrl`.
  std::map<std::string, std::string> childEnvironment(const std::string& logUrl) const;
  // Turns the application's "debugLogs" preference on.
  void enableDebugLogs() const;

 private:
  XdgSandbox xdg_;
  std::string savedRuntime_;
  bool hadRuntime_ = false;
};

// Every log of every request so far: the JSON container's "logs" of the app endpoint, each line
// of the Common Collector endpoint.
std::vector<ReceivedLog> receivedLogs(const LocalHttpServer& server);
// The decoded body of a request (gzip undone).
std::string decodedBody(const ReceivedHttpRequest& request);
// The received logs of a type ("event", "startService", ...), in arrival order.
std::vector<ReceivedLog> logsOfType(const std::vector<ReceivedLog>& logs, const std::string& type);

// What the client's store holds, read through a store of this process: per stored log, its type
// and, for events, its name and string properties.
struct StoredLog {
  std::string groupId;
  std::string type;
  std::string name;
  std::map<std::string, std::string> properties;
};
std::vector<StoredLog> storedLogs(const std::vector<std::string>& groupIds);

}  // namespace ml::test

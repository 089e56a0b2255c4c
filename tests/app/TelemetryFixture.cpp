#include "TelemetryFixture.h"

#include <sqlite3.h>

#include <cstdlib>

#include "beacon/analytics/Model/TLEventLog.h"
#include "beacon/analytics/TLAnalyticsLogClasses.h"
#include "beacon/core/Storage/TLDBConnection.h"
#include "beacon/core/Storage/TLLogDBStorage.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLTypedProperty.h"
#include "beacon/core/TLUtilityFile.h"
#include "platform/foundation/Preferences.h"
#include "platform/security/Base64.h"
#include "support/Gunzip.h"

namespace ml::test {

namespace fs = std::filesystem;

TelemetrySandbox::TelemetrySandbox() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
    hadRuntime_ = true;
    savedRuntime_ = runtime;
  }
  fs::path runtime = root() / "runtime";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

TelemetrySandbox::~TelemetrySandbox() {
  if (hadRuntime_) {
    ::setenv("XDG_RUNTIME_DIR", savedRuntime_.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
}

std::map<std::string, std::string> TelemetrySandbox::childEnvironment(const std::string& logUrl) const {
  std::map<std::string, std::string> environment{{"QT_QPA_PLATFORM", "offscreen"}, {"MARROWLANE_LOG_URL", logUrl}};
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
    if (const char* value = std::getenv(name)) environment[name] = value;
  }
  // Sanitizer builds: the leak suppressions name frames inside system libraries, which the fast
  // unwinder cannot walk (they keep no frame pointers), so the application records whole stacks.
  if (const char* sanitizer = std::getenv("ASAN_OPTIONS")) {
    environment["ASAN_OPTIONS"] = std::string(sanitizer) + ":fast_unwind_on_malloc=0";
  }
  return environment;
}

void TelemetrySandbox::enableDebugLogs() const {
  foundation::Preferences preferences(foundation::Preferences::standardFile());
  preferences.set("debugLogs", foundation::PlistValue(true));
}

std::string decodedBody(const ReceivedHttpRequest& request) {
  if (request.header("Content-Encoding").value_or("") != "gzip") return request.body;
  return gunzip(request.body);
}

std::vector<ReceivedLog> receivedLogs(const LocalHttpServer& server) {
  std::vector<ReceivedLog> logs;
  for (const auto& request : server.requests()) {
    std::string body = decodedBody(request);
    if (request.target.starts_with("/logs")) {
      auto container = nlohmann::json::parse(body, nullptr, false);
      if (container.is_object() && container.contains("logs")) {
        for (const auto& log : container["logs"]) logs.push_back({log, request});
      }
      continue;
    }
    std::size_t start = 0;
    while (start < body.size()) {
      std::size_t end = body.find('\n', start);
      if (end == std::string::npos) end = body.size();
      auto line = nlohmann::json::parse(body.substr(start, end - start), nullptr, false);
      if (!line.is_discarded()) logs.push_back({line, request});
      start = end + 1;
    }
  }
  return logs;
}

std::vector<ReceivedLog> logsOfType(const std::vector<ReceivedLog>& logs, const std::string& type) {
  std::vector<ReceivedLog> found;
  for (const auto& log : logs) {
    if (log.log.value("type", "") == type) found.push_back(log);
  }
  return found;
}

std::vector<StoredLog> storedLogs(const std::vector<std::string>& groupIds) {
  // The rows as they lie in the file, read with a connection of our own: loading through a store
  // hands out nothing while the application holds the file's sending lock, which it does from its
  // first send until every batch has its answer (a retry can keep it for minutes).
  beacon::registerAnalyticsArchiveClasses();
  std::vector<StoredLog> found;
  auto file = beacon::TLUtilityFile::fullURLForPathComponent(beacon::TLLogDBStorage::kFileName);
  if (!file || !fs::exists(*file)) return found;
  int result = 0;
  auto connection = beacon::TLDBConnection::open(*file, result);
  if (!connection) return found;
  sqlite3_busy_timeout(connection->handle(), 5000);
  for (const auto& groupId : groupIds) {
    auto rows = connection->executeSelectionQuery("SELECT log FROM logs WHERE groupId = ? ORDER BY id", {groupId});
    for (const auto& row : rows) {
      const std::string* text = beacon::tlDBText(row.at(0));
      auto bytes = text ? security::Base64::decode(*text) : std::nullopt;
      if (!bytes) continue;
      auto log = beacon::TLKeyedUnarchiver::unarchivedObjectOfClass<beacon::TLAbstractLog>(*bytes);
      if (!log || !*log) continue;
      StoredLog stored{groupId, (*log)->type().value_or(""), {}, {}};
      if (auto* event = dynamic_cast<beacon::TLEventLog*>(log->get())) {
        stored.name = event->name.value_or("");
        if (event->typedProperties) {
          for (const auto& [key, property] : event->typedProperties->properties()) {
            if (auto* value = dynamic_cast<const beacon::TLStringTypedProperty*>(property.get())) {
              stored.properties[key] = value->value.value_or("");
            }
          }
        }
      }
      found.push_back(std::move(stored));
    }
  }
  return found;
}

}  // namespace ml::test

#include "beacon/core/Ingestion/TLCommonCollectorIngestion.h"

#include <chrono>
#include <map>
#include <set>

#include "beacon/core/CommonSchema/TLCommonSchemaArchiveClasses.h"
#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"
#include "beacon/core/CommonSchema/TLTicketCache.h"
#include "beacon/core/Ingestion/TLCompression.h"
#include "beacon/core/Ingestion/TLErrors.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLJson.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::beacon {

std::shared_ptr<TLCommonCollectorIngestion> TLCommonCollectorIngestion::create(
    const std::string& baseUrl, TLHttpIngestionEnvironment environment, std::shared_ptr<TLReachability> reachability) {
  registerCommonSchemaArchiveClasses();
  TLHttpIngestionConfiguration configuration;
  configuration.baseUrl = baseUrl;
  configuration.apiPath = std::string(kApiPath);
  configuration.headers = {{"Content-Type", "application/x-json-stream; charset=utf-8"},
                           {"Client-Version", "BCS-iOS-ObjectiveC-no-" + TLUtility::sdkVersion() + "-no"}};
  configuration.reachability = std::move(reachability);
  configuration.maxNumberOfConnections = kMaxNumberOfConnections;
  configuration.environment = std::move(environment);
  auto ingestion = std::make_shared<TLCommonCollectorIngestion>(ConstructionKey{}, std::move(configuration));
  didCreate(ingestion);
  return ingestion;
}

TLCommonCollectorIngestion::TLCommonCollectorIngestion(ConstructionKey key, TLHttpIngestionConfiguration configuration)
    : TLHttpIngestion(key, std::move(configuration)) {}

void TLCommonCollectorIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
                                           const std::optional<std::string>& authToken,
                                           TLIngestionCompletion completionHandler) {
  if (container && container->isValid()) {
    TLHttpIngestion::sendAsync(container, std::nullopt, authToken, container->batchId, std::move(completionHandler));
    return;
  }
  auto error = makeTLError(kTLLogInvalidContainerErrorCode, kTLLogInvalidContainerErrorDesc);
  TL_LOG_ERROR(kBeaconLogTag, error.description());
  if (completionHandler) completionHandler(container ? container->batchId : std::string(), std::nullopt, {}, error);
}

std::optional<net::HttpRequest> TLCommonCollectorIngestion::makeRequest(
    const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>&,
    const std::optional<std::string>&) {
  ML_ASSERT_ON_QUEUE(ownerQueue());
  if (!container) return std::nullopt;
  net::HttpRequest request;
  request.url = currentSendURL();
  request.method = "POST";
  for (const auto& [name, value] : httpHeaders()) request.headers.set(name, value);

  std::set<std::string> tokens;
  std::map<std::string, std::string> tickets;
  std::string body;
  for (const auto& log : container->logs) {
    if (!log) continue;
    if (auto logTokens = log->transmissionTargetTokens()) tokens.insert(logTokens->begin(), logTokens->end());
    if (const auto* csLog = dynamic_cast<const TLCommonSchemaLog*>(log.get())) {
      if (csLog->ext && csLog->ext->protocolExt && csLog->ext->protocolExt->ticketKeys) {
        for (const auto& key : *csLog->ext->protocolExt->ticketKeys) {
          if (auto ticket = TLTicketCache::sharedInstance().ticketFor(key)) tickets[key] = *ticket;
        }
      }
    }
    // One compact line per log; the JSON writer leaves "/" unescaped.
    body += log->serializeLogWithPrettyPrinting(false).value_or("{}");
    body += '\n';
  }

  std::string apiKey;
  for (const auto& token : tokens) apiKey += (apiKey.empty() ? "" : ",") + token;
  if (!apiKey.empty()) request.headers.set("apikey", apiKey);
  auto now = std::chrono::duration_cast<std::chrono::milliseconds>(clock().now().time_since_epoch()).count();
  request.headers.set("Upload-Time", std::to_string(static_cast<long long>(now)));
  if (!tickets.empty()) {
    TLJsonValue json = TLJsonValue::object();
    for (const auto& [key, ticket] : tickets) json[key] = ticket;
    if (auto text = TLJson::dump(json, false)) request.headers.set("Tickets", *text);
  }

  request.body.assign(body.begin(), body.end());
  if (request.body.size() >= kCompressionThreshold) {
    if (auto compressed = TLCompression::compressData(request.body)) {
      request.headers.set("Content-Encoding", "gzip");
      request.body = std::move(*compressed);
    }
  }
  logRequest(request);
  return request;
}

std::string TLCommonCollectorIngestion::obfuscateHeaderValue(std::string_view value, std::string_view key) const {
  if (net::HttpHeaders::namesEqual(key, "apikey")) return obfuscateTargetTokens(value);
  if (net::HttpHeaders::namesEqual(key, "Tickets")) return obfuscateTickets(value);
  return std::string(value);
}

std::string TLCommonCollectorIngestion::obfuscateTargetTokens(std::string_view tokens) {
  std::string out;
  std::size_t start = 0;
  while (true) {
    std::size_t end = tokens.find(',', start);
    out += TLHttpUtil::hideSecret(tokens.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    out += ',';
    start = end + 1;
  }
  return out;
}

std::string TLCommonCollectorIngestion::obfuscateTickets(std::string_view tickets) {
  std::string out;
  std::size_t i = 0;
  while (i < tickets.size()) {
    if (tickets[i] == ':' && i + 1 < tickets.size() && tickets[i + 1] != '"') {
      out += ":***";
      ++i;
      while (i < tickets.size() && tickets[i] != '"') ++i;
      continue;
    }
    out += tickets[i++];
  }
  return out;
}

}  // namespace ml::beacon

#include "beacon/core/Ingestion/TLBeaconIngestion.h"

#include "beacon/core/Ingestion/TLCompression.h"
#include "beacon/core/Ingestion/TLErrors.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLLogContainer.h"
#include "beacon/core/TLLogger.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::beacon {

std::shared_ptr<TLBeaconIngestion> TLBeaconIngestion::create(const std::string& baseUrl,
                                                             const foundation::Uuid& installId,
                                                             TLHttpIngestionEnvironment environment,
                                                             std::shared_ptr<TLReachability> reachability) {
  TLHttpIngestionConfiguration configuration;
  configuration.baseUrl = baseUrl;
  configuration.apiPath = std::string(kApiPath);
  configuration.headers = {{"Content-Type", "application/json"}, {"Install-ID", installId.string()}};
  configuration.queryStrings = {{"api-version", "1.0.0"}};
  configuration.reachability = std::move(reachability);
  configuration.environment = std::move(environment);
  auto ingestion = std::make_shared<TLBeaconIngestion>(ConstructionKey{}, std::move(configuration));
  didCreate(ingestion);
  return ingestion;
}

TLBeaconIngestion::TLBeaconIngestion(ConstructionKey key, TLHttpIngestionConfiguration configuration)
    : TLHttpIngestion(key, std::move(configuration)) {}

std::optional<std::string> TLBeaconIngestion::appSecret() const {
  return query([this] { return appSecret_; });
}

void TLBeaconIngestion::setAppSecret(const std::optional<std::string>& appSecret) {
  post([this, appSecret] { appSecret_ = appSecret; });
}

bool TLBeaconIngestion::isReadyToSend() const {
  return query([this] { return appSecret_ && !appSecret_->empty(); });
}

void TLBeaconIngestion::sendAsync(const std::shared_ptr<TLLogContainer>& container,
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

std::optional<net::HttpRequest> TLBeaconIngestion::makeRequest(const std::shared_ptr<TLLogContainer>& container,
                                                               const std::optional<std::string>&,
                                                               const std::optional<std::string>& authToken) {
  ML_ASSERT_ON_QUEUE(ownerQueue());
  if (!appSecret_ || appSecret_->empty()) {
    TL_LOG_ERROR(kBeaconLogTag, "Beacon ingestion is used without app secret.");
    return std::nullopt;
  }
  std::optional<std::string> json = container ? container->serializeLog() : std::nullopt;
  if (!json) return std::nullopt;  // logged by the container

  net::HttpRequest request;
  request.url = currentSendURL();
  request.method = "POST";
  for (const auto& [name, value] : httpHeaders()) request.headers.set(name, value);
  request.headers.set("App-Secret", *appSecret_);
  if (authToken && !authToken->empty()) request.headers.set("Authorization", "Bearer " + *authToken);

  request.body.assign(json->begin(), json->end());
  if (request.body.size() >= kCompressionThreshold) {
    // A body that does not compress goes as it is, without "Content-Encoding".
    if (auto compressed = TLCompression::compressData(request.body)) {
      request.headers.set("Content-Encoding", "gzip");
      request.body = std::move(*compressed);
    }
  }
  logRequest(request);
  return request;
}

std::string TLBeaconIngestion::obfuscateHeaderValue(std::string_view value, std::string_view key) const {
  if (net::HttpHeaders::namesEqual(key, "Authorization")) return TLHttpUtil::hideAuthToken(value);
  if (net::HttpHeaders::namesEqual(key, "App-Secret")) return TLHttpUtil::hideSecret(value);
  return std::string(value);
}

}  // namespace ml::beacon

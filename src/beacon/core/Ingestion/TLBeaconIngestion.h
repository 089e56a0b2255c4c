#pragma once
// The ingestion of the client's own log endpoint (its base URL is the one start-up hands the
// channel group). Every batch goes as
//   POST <base URL>/logs?api-version=1.0.0
//   Content-Type: application/json, Install-ID: <install id>, App-Secret: <secret>,
//   Authorization: Bearer <token> (only with a non-empty token),
//   Content-Encoding: gzip (only when the body was compressed)
// with the batch's JSON as body, gzip-compressed from 1400 bytes on. The call id of a batch is
// its batch id. Nothing is sent before an app secret is set (isReadyToSend() answers false; a
// call made meanwhile waits in the pending list).
//
// Threads as TLHttpIngestion; the app secret belongs to the owner queue like the rest.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/Ingestion/TLHttpIngestion.h"
#include "platform/foundation/Uuid.h"

namespace ml::beacon {

class TLBeaconIngestion final : public TLHttpIngestion {
 public:
  static constexpr std::string_view kApiPath = "/logs";
  static constexpr std::size_t kCompressionThreshold = 1400;  // bytes of JSON

  // Retries after 10, 300 and 1200 s; 4 connections per host. Null reachability: the internet
  // reachability of the machine.
  static std::shared_ptr<TLBeaconIngestion> create(const std::string& baseUrl, const foundation::Uuid& installId,
                                                   TLHttpIngestionEnvironment environment = {},
                                                   std::shared_ptr<TLReachability> reachability = nullptr);
  TLBeaconIngestion(ConstructionKey key, TLHttpIngestionConfiguration configuration);

  // A query and a command (see TLHttpIngestion): a secret set before a send is the one it uses.
  std::optional<std::string> appSecret() const;
  void setAppSecret(const std::optional<std::string>& appSecret);
  // An app secret is set (a query).
  bool isReadyToSend() const override;

  using TLHttpIngestion::sendAsync;
  // Sends a valid batch under its batch id; an invalid or missing batch is answered at once
  // through the completion with the code-1 error, and nothing is sent.
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& authToken,
                 TLIngestionCompletion completionHandler) override;

  // Queue only (createRequest() builds it there).
  std::optional<net::HttpRequest> makeRequest(const std::shared_ptr<TLLogContainer>& container,
                                              const std::optional<std::string>& eTag,
                                              const std::optional<std::string>& authToken) override;
  // "Authorization" shows only its scheme word, "App-Secret" only its last 8 characters.
  std::string obfuscateHeaderValue(std::string_view value, std::string_view key) const override;

 private:
  std::optional<std::string> appSecret_;  // owner queue
};

}  // namespace ml::beacon

#pragma once
// The ingestion of the Common Collector: posts the batches of the companion channel units as
// newline-separated common-schema JSON lines.
//   POST <base URL>/CommonCollector/1.0
//   Content-Type: application/x-json-stream; charset=utf-8
//   Client-Version: BCS-iOS-ObjectiveC-no-<library version>-no
//   apikey: the distinct target tokens of the batch's logs, joined by ","
//   Upload-Time: milliseconds since 1970 (the ingestion's clock)
//   Tickets: {"<ticket key>":"<ticket>",...} (only when the ticket cache knows a ticket the
//            logs ask for)
//   Content-Encoding: gzip (only when the body was compressed)
// The body is each log's compact JSON followed by a line feed (the last line included),
// gzip-compressed from 1400 bytes on. Target tokens and tickets are masked in log output.
//
// Threads as TLHttpIngestion.
#include <memory>
#include <string>
#include <string_view>

#include "beacon/core/Ingestion/TLHttpIngestion.h"

namespace ml::beacon {

// The default base URL of the Common Collector.
inline constexpr std::string_view kTLDefaultCommonCollectorUrl = "https://collector.beacon.marrowlane.org";

class TLCommonCollectorIngestion final : public TLHttpIngestion {
 public:
  static constexpr std::string_view kApiPath = "/CommonCollector/1.0";
  static constexpr std::size_t kCompressionThreshold = 1400;  // bytes of body text
  static constexpr std::size_t kMaxNumberOfConnections = 2;

  // Retries after 10, 300 and 1200 s; 2 connections per host. Also lists the common-schema
  // models for archive decoding, so stored common-schema logs read back.
  static std::shared_ptr<TLCommonCollectorIngestion> create(const std::string& baseUrl,
                                                            TLHttpIngestionEnvironment environment = {},
                                                            std::shared_ptr<TLReachability> reachability = nullptr);
  TLCommonCollectorIngestion(ConstructionKey key, TLHttpIngestionConfiguration configuration);

  using TLHttpIngestion::sendAsync;
  // As TLBeaconIngestion: a valid batch goes under its batch id; anything else is answered at
  // once with the code-1 error.
  void sendAsync(const std::shared_ptr<TLLogContainer>& container, const std::optional<std::string>& authToken,
                 TLIngestionCompletion completionHandler) override;

  // The eTag and the auth token are not used by this endpoint. Queue only (createRequest()
  // builds it there).
  std::optional<net::HttpRequest> makeRequest(const std::shared_ptr<TLLogContainer>& container,
                                              const std::optional<std::string>& eTag,
                                              const std::optional<std::string>& authToken) override;
  std::string obfuscateHeaderValue(std::string_view value, std::string_view key) const override;

  // Each ","-separated token through TLHttpUtil::hideSecret.
  static std::string obfuscateTargetTokens(std::string_view tokens);
  // Every ":" followed by characters other than '"' becomes ":***" (the run up to the next '"').
  static std::string obfuscateTickets(std::string_view tickets);
};

}  // namespace ml::beacon

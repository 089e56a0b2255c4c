// What the ingestion reads of a server's answer: the header block, line by line as the transfer
// delivers it, and the body as the verbose log shows it (JSON re-indented, tokens masked). Any
// bytes must be read without a crash, within the header caps; masking must be idempotent and must
// leave no "token" string value unmasked in re-indented JSON.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "beacon/core/Ingestion/TLHttpIngestion.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "beacon/core/TLJson.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtility.h"
#include "platform/net/HttpHeaderLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ml;
  static const bool quiet = [] {
    beacon::TLLogger::setCurrentLogLevel(beacon::TLLogLevel::none);
    return true;
  }();
  (void)quiet;

  std::string_view input(reinterpret_cast<const char*>(data), size);
  // Header block up to the first empty line, body after it.
  std::size_t split = input.find("\r\n\r\n");
  std::string_view head = input.substr(0, split);
  std::string_view body = split == std::string_view::npos ? std::string_view() : input.substr(split + 4);

  net::HttpHeaderBlockReader reader;
  std::size_t start = 0;
  while (start <= head.size()) {
    std::size_t end = head.find('\n', start);
    std::string_view line = head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start + 1);
    if (!reader.addLine(line)) break;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  reader.addLine("\r\n");
  net::HttpHeaders headers = reader.headers();
  if (headers.size() > net::HttpHeaderBlockReader::kMaxFields) std::abort();

  std::span<const std::uint8_t> bodyBytes(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
  std::vector<std::uint8_t> bodyVector(bodyBytes.begin(), bodyBytes.end());
  auto payload = beacon::TLHttpIngestion::payloadForLog(headers.value("Content-Type"), bodyVector);
  if (payload && payload->size() > beacon::TLHttpIngestion::kMaxLoggedPayloadBytes + 3) std::abort();
  std::string printed = beacon::TLUtility::prettyPrintJson(bodyBytes).value_or("");
  for (std::string_view text : {std::string_view(printed), body}) {
    std::string masked = beacon::TLHttpUtil::hideTokensInJsonText(text);
    if (beacon::TLHttpUtil::hideTokensInJsonText(masked) != masked) std::abort();
    // Re-parsed, a masked document as the JSON writer printed it holds no token value but "***".
    if (text.data() != printed.data()) continue;
    if (auto json = beacon::TLJson::parse(masked); json && json->is_object() && json->contains("token") &&
                                                    (*json)["token"].is_string() && (*json)["token"] != "***") {
      std::abort();
    }
  }
  return 0;
}

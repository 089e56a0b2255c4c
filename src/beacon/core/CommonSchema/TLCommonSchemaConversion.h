#pragma once
// Turns an ordinary log into common-schema logs, one per transmission target token it carries:
// the envelope from the log (schema "3.0", its time, the instrumentation key of the token, the
// flags) and the extensions from its device record. The Common Collector channel numbers the
// results (epoch, sequence, install id) afterwards. Stateless and thread-safe (the log's tokens
// are read under the log's own lock).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/CommonSchema/TLCommonSchemaLog.h"

namespace ml::beacon {

class TLCommonSchemaConversion {
 public:
  TLCommonSchemaConversion() = delete;

  // One common-schema log per target token, in the tokens' order; nothing (not an empty list)
  // when the log carries no token.
  static std::optional<std::vector<std::shared_ptr<TLCommonSchemaLog>>> toCommonSchemaLogsWithFlags(
      const TLAbstractLog& log, std::int64_t flags);
  // The log's own form for one token: its TLLogConversion refinement when it adopts one, else the
  // base form.
  static std::shared_ptr<TLCommonSchemaLog> toCommonSchemaLogForTargetToken(const TLAbstractLog& log,
                                                                            const std::string& token, std::int64_t flags);
  // The base form for one token (what refinements start from).
  static std::shared_ptr<TLCommonSchemaLog> commonSchemaLogForTargetToken(const TLAbstractLog& log,
                                                                          const std::string& token, std::int64_t flags);

  // "Version <version>" when there is a version, then " (Build <build>)" when there is a build;
  // a build alone gives "(Build <build>)"; nothing when both are absent or empty.
  static std::optional<std::string> combineOsVersion(const std::optional<std::string>& version,
                                                     const std::optional<std::string>& build);
  // "<name>-<version>" when both are present and not empty.
  static std::optional<std::string> combineSDKLibVer(const std::optional<std::string>& name,
                                                     const std::optional<std::string>& version);
  // "+hh:mm" / "-hh:mm" of an offset in minutes east of UTC (120 -> "+02:00", -330 -> "-05:30",
  // -30 -> "-00:30").
  static std::string convertTimeZoneOffsetToISO8601(std::int64_t offsetMinutes);
  // The language the application runs in: the language (and script) of the process's message
  // locale ("en", "sr-Latn").
  static std::string applicationLocale();
};

}  // namespace ml::beacon

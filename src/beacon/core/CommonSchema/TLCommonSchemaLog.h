#pragma once
// A log in the common schema of the Common Collector: an envelope (schema version, event name,
// time, instrumentation key, flags) with its extensions and its data part. Made from an ordinary
// log by TLCommonSchemaConversion, one per transmission target token.
//
// Its JSON has, in this order and each only when present: "ver", "name", "time" (the base's
// timestamp, ISO 8601), "iKey", "flags" (when not 0), "ext", "data". None of the base's own keys
// is written. The archive is the base's followed by the eight fields. Not synchronised: filled by
// the converting thread and the channel delegate before it is shared.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "beacon/core/CommonSchema/TLCSData.h"
#include "beacon/core/CommonSchema/TLCSExtensions.h"
#include "beacon/core/TLAbstractLog.h"

namespace ml::beacon {

class TLCommonSchemaLog : public TLAbstractLog {
 public:
  static constexpr std::string_view kSchemaVersion = "3.0";

  std::optional<std::string> ver;
  std::optional<std::string> name;
  double popSample = 0;  // archived, never written as JSON
  std::optional<std::string> iKey;
  std::int64_t flags = 0;  // the enqueue flags; the low byte is the persistence priority
  std::optional<std::string> cV;  // archived, never written as JSON
  std::shared_ptr<TLCSExtensions> ext;
  std::shared_ptr<TLCSData> data;

  static constexpr std::string_view kClassName = "TLCommonSchemaLog";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // The timestamp, the schema version and the name are present (the base's rule on type and
  // device does not apply).
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

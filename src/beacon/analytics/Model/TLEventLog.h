#pragma once
// An analytics event: a name, string properties, a unique id and typed properties. Type "event".
//
// For transmission targets the event's typed properties are also laid out as the common-schema
// property tree and its metadata tree (commonSchemaTrees): dotted names become nested objects,
// and long, double and date-time values are described in the metadata under "f" containers.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "beacon/analytics/Model/TLEventProperties.h"
#include "beacon/analytics/Model/TLLogWithNameAndProperties.h"
#include "beacon/core/CommonSchema/TLLogConversion.h"

namespace ml::beacon {

class TLEventLog : public TLLogWithNameAndProperties, public TLLogConversion {
 public:
  static constexpr std::string_view kType = "event";
  TLEventLog() { setType(std::string(kType)); }

  // The event's unique id (an upper-case UUID text).
  std::optional<std::string> eventId;
  std::shared_ptr<TLEventProperties> typedProperties;

  // Common-schema metadata type id of a typed-property type: "long" 4, "double" 6, "dateTime" 9;
  // strings and booleans have none.
  static const std::map<std::string, int>& metadataTypeIdMapping();

  struct CommonSchemaTrees {
    TLJsonValue properties = TLJsonValue::object();
    TLJsonValue metadata = TLJsonValue::object();
  };
  // The property and metadata trees of the typed properties (both empty without any). A
  // "baseType" string property needs "baseData." properties and the other way round: an
  // unmatched one is removed from the event's own typed properties, with a warning.
  // (The bag is shared: the removals reach it even through a const event.)
  CommonSchemaTrees commonSchemaTrees() const;

  // The core's common-schema form for the token, with the event's name, its typed properties
  // as the data part and their metadata extension, and the event's tag (its target).
  std::shared_ptr<TLCommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
                                                                     std::int64_t flags) const override;

  static constexpr std::string_view kClassName = "TLEventLog";
  std::string_view className() const override { return kClassName; }
  // The base keys, "id" when set and "typedProperties" (an array) when the bag is set.
  TLJsonValue serializeToDictionary() const override;
  // The base's validity and an event id.
  bool isValid() const override;
  // Typed properties take no part.
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

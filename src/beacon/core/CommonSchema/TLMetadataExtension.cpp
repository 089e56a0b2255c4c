#include "beacon/core/CommonSchema/TLMetadataExtension.h"

#include "beacon/core/CommonSchema/TLJsonArchive.h"

namespace ml::beacon {

TLJsonValue TLMetadataExtension::serializeToDictionary() const {
  if (!metadata) return TLJsonValue();
  return *metadata;
}

bool TLMetadataExtension::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLMetadataExtension*>(&other);
  return record && metadata == record->metadata;
}

void TLMetadataExtension::encodeWithCoder(TLKeyedArchiver& coder) const { encodeJsonObject(coder, "metadata", metadata); }

void TLMetadataExtension::initWithCoder(const TLKeyedUnarchiver& coder) { metadata = decodeJsonObject(coder, "metadata"); }

}  // namespace ml::beacon

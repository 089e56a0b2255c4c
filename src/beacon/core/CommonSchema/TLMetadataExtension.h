#pragma once
// The metadata extension: a free-form JSON object describing the types of the data part's
// fields (filled by log types that carry typed properties). Writes the object as it is, also
// when it is empty; writes nothing when it is absent. Not synchronised.
#include <optional>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLMetadataExtension : public TLSerializableObject {
 public:
  std::optional<TLJsonValue> metadata;  // a JSON object

  static constexpr std::string_view kClassName = "TLMetadataExtension";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return true; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

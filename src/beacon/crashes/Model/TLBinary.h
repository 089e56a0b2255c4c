#pragma once
// One loaded image of a crashed process: identifier (build id), address range as "0x" text, name,
// path and architecture ids. Plain record, not synchronised; all fields absent after construction.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLSerializableObject.h"

namespace ml::beacon {

class TLBinary : public TLSerializableObject {
 public:
  std::optional<std::string> binaryId;
  std::optional<std::string> startAddress;
  std::optional<std::string> endAddress;
  std::optional<std::string> name;
  std::optional<std::string> path;
  std::optional<std::string> architecture;
  std::optional<std::int64_t> primaryArchitectureId;
  std::optional<std::int64_t> architectureVariantId;

  static constexpr std::string_view kClassName = "TLBinary";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // id, start and end address, name and path present.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// The exception a wrapper SDK (a binding of the client for another runtime) saves at crash time:
// the id of the process that saved it and the exception model it describes. Keyed-archivable.
#include <cstdint>
#include <memory>
#include <optional>

#include "beacon/crashes/Model/TLException.h"

namespace ml::beacon {

class TLWrapperException : public TLSerializableObject {
 public:
  std::optional<std::int64_t> processId;
  std::shared_ptr<TLException> modelException;

  static constexpr std::string_view kClassName = "TLWrapperException";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  bool isValid() const override { return processId && modelException; }
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon

#pragma once
// What every telemetry model implements: its JSON object, its validity, equality with another
// model, and the keyed-archive pair (encodeWithCoder writes the object's fields under their
// archive keys; initWithCoder reads them into a freshly constructed object). A subclass calls its
// base first and then adds its own keys, in all four operations.
#include <string_view>

#include "beacon/core/TLJson.h"

namespace ml::beacon {

class TLKeyedArchiver;
class TLKeyedUnarchiver;

class TLSerializableObject {
 public:
  virtual ~TLSerializableObject() = default;

  // The name the keyed archive records for this type; decoding accepts only registered names
  // (TLArchiveClasses).
  virtual std::string_view className() const = 0;
  // The model as a JSON object; an absent field writes no key.
  virtual TLJsonValue serializeToDictionary() const = 0;
  virtual bool isValid() const = 0;
  virtual bool isEqual(const TLSerializableObject& other) const = 0;
  virtual void encodeWithCoder(TLKeyedArchiver& coder) const = 0;
  virtual void initWithCoder(const TLKeyedUnarchiver& coder) = 0;

 protected:
  TLSerializableObject() = default;
  TLSerializableObject(const TLSerializableObject&) = default;
  TLSerializableObject& operator=(const TLSerializableObject&) = default;
};

}  // namespace ml::beacon

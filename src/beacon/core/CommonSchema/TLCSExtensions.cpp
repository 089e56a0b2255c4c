#include "beacon/core/CommonSchema/TLCSExtensions.h"

#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon {

namespace {

// Calls visit(key, member) for each extension in declaration order; member is a pointer to the
// shared_ptr field (of a const or non-const object).
template <class Self, class Visit>
void forEachExtension(Self& self, Visit&& visit) {
  visit("metadata", self.metadataExt);
  visit("protocol", self.protocolExt);
  visit("user", self.userExt);
  visit("device", self.deviceExt);
  visit("os", self.osExt);
  visit("app", self.appExt);
  visit("net", self.netExt);
  visit("sdk", self.sdkExt);
  visit("loc", self.locExt);
}

}  // namespace

TLJsonValue TLCSExtensions::serializeToDictionary() const {
  TLJsonValue json = TLJsonValue::object();
  forEachExtension(*this, [&](const char* key, const auto& extension) {
    if (!extension) return;
    TLJsonValue value = extension->serializeToDictionary();
    if (!value.is_null()) json[key] = std::move(value);
  });
  return json;
}

bool TLCSExtensions::isValid() const {
  bool valid = true;
  forEachExtension(*this, [&](const char*, const auto& extension) {
    if (extension && !extension->isValid()) valid = false;
  });
  return valid;
}

bool TLCSExtensions::isEqual(const TLSerializableObject& other) const {
  const auto* record = dynamic_cast<const TLCSExtensions*>(&other);
  return record && sameRecord(metadataExt, record->metadataExt) && sameRecord(protocolExt, record->protocolExt) &&
         sameRecord(userExt, record->userExt) && sameRecord(deviceExt, record->deviceExt) &&
         sameRecord(osExt, record->osExt) && sameRecord(appExt, record->appExt) && sameRecord(netExt, record->netExt) &&
         sameRecord(sdkExt, record->sdkExt) && sameRecord(locExt, record->locExt);
}

void TLCSExtensions::encodeWithCoder(TLKeyedArchiver& coder) const {
  forEachExtension(*this, [&](const char* key, const auto& extension) { coder.encodeObject(key, extension.get()); });
}

void TLCSExtensions::initWithCoder(const TLKeyedUnarchiver& coder) {
  forEachExtension(*this, [&](const char* key, auto& extension) {
    using Record = typename std::remove_reference_t<decltype(extension)>::element_type;
    extension = coder.decodeObjectOfClass<Record>(key);
  });
}

}  // namespace ml::beacon

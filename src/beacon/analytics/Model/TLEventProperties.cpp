#include "beacon/analytics/Model/TLEventProperties.h"

#include <cmath>

#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"
#include "beacon/core/TLLogger.h"

namespace ml::beacon {

TLEventProperties::TLEventProperties(const std::map<std::string, std::string>& strings) {
  for (const auto& [key, value] : strings) {
    auto property = std::make_shared<TLStringTypedProperty>();
    property->name = key;
    property->value = value;
    properties_[key] = std::move(property);
  }
}

TLEventProperties::TLEventProperties(const TLEventProperties& other)
    : TLSerializableObject(other), properties_(other.properties()) {}

TLEventProperties& TLEventProperties::operator=(const TLEventProperties& other) {
  if (this == &other) return *this;
  Properties copied = other.properties();
  std::lock_guard guard(lock_);
  properties_ = std::move(copied);
  return *this;
}

bool TLEventProperties::validateKey(const std::optional<std::string>& key) {
  if (key) return true;
  TL_LOG_ERROR(kBeaconAnalyticsLogTag, "Key cannot be null. Property will not be added.");
  return false;
}

template <class P, class V>
void TLEventProperties::store(const std::string& key, V value) {
  auto property = std::make_shared<P>();
  property->name = key;
  property->value = std::move(value);
  std::lock_guard guard(lock_);
  properties_[key] = std::move(property);
}

TLEventProperties& TLEventProperties::setString(const std::optional<std::string>& value,
                                                const std::optional<std::string>& key) {
  if (validateKey(key) && validateValue(value)) store<TLStringTypedProperty>(*key, *value);
  return *this;
}

TLEventProperties& TLEventProperties::setDate(const std::optional<Date>& value, const std::optional<std::string>& key) {
  if (validateKey(key) && validateValue(value)) store<TLDateTimeTypedProperty>(*key, *value);
  return *this;
}

TLEventProperties& TLEventProperties::setInt64(std::int64_t value, const std::optional<std::string>& key) {
  if (validateKey(key)) store<TLLongTypedProperty>(*key, value);
  return *this;
}

TLEventProperties& TLEventProperties::setBool(bool value, const std::optional<std::string>& key) {
  if (validateKey(key)) store<TLBooleanTypedProperty>(*key, value);
  return *this;
}

TLEventProperties& TLEventProperties::setDouble(double value, const std::optional<std::string>& key) {
  if (!validateKey(key)) return *this;
  if (!std::isfinite(value)) {
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "Double value for property '" << *key
                                                                       << "' must be finite (cannot be INFINITY or NAN).");
    return *this;
  }
  store<TLDoubleTypedProperty>(*key, value);
  return *this;
}

void TLEventProperties::put(const std::string& name, std::shared_ptr<const TLTypedProperty> property) {
  if (!property) return;
  std::lock_guard guard(lock_);
  properties_[name] = std::move(property);
}

bool TLEventProperties::remove(const std::string& name) {
  std::lock_guard guard(lock_);
  return properties_.erase(name) > 0;
}

void TLEventProperties::mergeEventProperties(const TLEventProperties& other) {
  if (&other == this) return;
  for (auto& [name, property] : other.properties()) put(name, property);
}

TLEventProperties::Properties TLEventProperties::properties() const {
  std::lock_guard guard(lock_);
  return properties_;
}

bool TLEventProperties::contains(const std::string& name) const {
  std::lock_guard guard(lock_);
  return properties_.contains(name);
}

std::size_t TLEventProperties::count() const {
  std::lock_guard guard(lock_);
  return properties_.size();
}

bool TLEventProperties::isEmpty() const { return count() == 0; }

TLJsonValue TLEventProperties::serializeToArray() const {
  TLJsonValue array = TLJsonValue::array();
  std::lock_guard guard(lock_);
  for (const auto& entry : properties_) array.push_back(entry.second->serializeToDictionary());
  return array;
}

bool TLEventProperties::isEqual(const TLSerializableObject& other) const {
  const auto* bag = dynamic_cast<const TLEventProperties*>(&other);
  if (!bag) return false;
  Properties mine = properties();
  Properties theirs = bag->properties();
  if (mine.size() != theirs.size()) return false;
  for (auto a = mine.begin(), b = theirs.begin(); a != mine.end(); ++a, ++b) {
    if (a->first != b->first || !a->second->isEqual(*b->second)) return false;
  }
  return true;
}

void TLEventProperties::encodeWithCoder(TLKeyedArchiver& coder) const {
  std::lock_guard guard(lock_);
  std::size_t index = 0;
  for (const auto& entry : properties_) coder.encodeObject(std::to_string(index++), entry.second.get());
}

void TLEventProperties::initWithCoder(const TLKeyedUnarchiver& coder) {
  Properties decoded;
  for (std::size_t index = 0;; ++index) {
    std::string key = std::to_string(index);
    if (!coder.containsValue(key)) break;
    auto property = coder.decodeObjectOfClass<TLTypedProperty>(key);
    if (!property) return;  // the coder has recorded why
    if (!property->name) {
      coder.fail(TLKeyedUnarchiver::kCorruptArchiveError, "typed property without a name");
      return;
    }
    decoded[*property->name] = std::move(property);
  }
  std::lock_guard guard(lock_);
  properties_ = std::move(decoded);
}

}  // namespace ml::beacon

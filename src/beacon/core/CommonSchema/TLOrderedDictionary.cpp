#include "beacon/core/CommonSchema/TLOrderedDictionary.h"

namespace ml::beacon {

void TLOrderedDictionary::setObject(TLJsonValue value, const std::string& key) {
  auto [it, inserted] = dictionary_.insert_or_assign(key, std::move(value));
  if (inserted) order_.push_back(key);
}

const TLJsonValue* TLOrderedDictionary::objectForKey(std::string_view key) const {
  auto it = dictionary_.find(key);
  return it == dictionary_.end() ? nullptr : &it->second;
}

void TLOrderedDictionary::removeAllObjects() {
  order_.clear();
  dictionary_.clear();
}

bool TLOrderedDictionary::isEqualToDictionary(const TLOrderedDictionary& other) const {
  return order_ == other.order_ && dictionary_ == other.dictionary_;
}

TLJsonValue TLOrderedDictionary::toJson() const {
  TLJsonValue json = TLJsonValue::object();
  for (const auto& key : order_) json[key] = dictionary_.at(key);
  return json;
}

}  // namespace ml::beacon

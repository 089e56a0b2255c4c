#pragma once
// A dictionary whose keys enumerate in the order they were first set: setting a key again
// replaces its value in place. The common-schema log builds its JSON with it, so the envelope's
// keys come out in a fixed order. A plain value type (copying it is the mutable copy); not
// synchronised.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "beacon/core/TLJson.h"

namespace ml::beacon {

class TLOrderedDictionary {
 public:
  TLOrderedDictionary() = default;
  explicit TLOrderedDictionary(std::size_t capacity) { order_.reserve(capacity); }

  void setObject(TLJsonValue value, const std::string& key);
  // Null when the key is not set.
  const TLJsonValue* objectForKey(std::string_view key) const;
  std::size_t count() const { return order_.size(); }
  // The keys in first-setting order.
  const std::vector<std::string>& keys() const { return order_; }
  void removeAllObjects();

  // Equal entries and an equal key order.
  bool isEqualToDictionary(const TLOrderedDictionary& other) const;

  // A JSON object with the keys in this order.
  TLJsonValue toJson() const;

 private:
  std::vector<std::string> order_;
  std::map<std::string, TLJsonValue, std::less<>> dictionary_;
};

}  // namespace ml::beacon

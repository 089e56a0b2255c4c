#pragma once
// The typed property bag of an event: property name -> typed property (string, long, double,
// boolean, date-time). Setters check their arguments, replace an entry of the same name and
// return the bag so calls chain:
//   TLEventProperties().setString("Files", "source").setInt64(3, "count");
//
// Threads: the setters, remove(), serializeToArray() and archiving lock the bag, so a bag may be
// filled on one thread while the channel serialises it on another. The typed properties it holds
// are never changed once stored (they are shared, not copied, between bags).
//
// Archive: the properties are written in name order under the keys "0", "1", ... of the bag's
// own object; each keeps its name, so the map is rebuilt from them.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "beacon/analytics/TLAnalyticsConstants.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLSerializableObject.h"
#include "beacon/core/TLTypedProperty.h"

namespace ml::beacon {

class TLEventProperties : public TLSerializableObject {
 public:
  using Date = std::chrono::system_clock::time_point;
  using Properties = std::map<std::string, std::shared_ptr<const TLTypedProperty>>;

  TLEventProperties() = default;
  // One string property per entry, unchecked.
  explicit TLEventProperties(const std::map<std::string, std::string>& strings);
  TLEventProperties(const TLEventProperties& other);
  TLEventProperties& operator=(const TLEventProperties& other);

  // Absent keys or values are refused with an error line and leave the bag unchanged.
  TLEventProperties& setString(const std::optional<std::string>& value, const std::optional<std::string>& key);
  TLEventProperties& setDate(const std::optional<Date>& value, const std::optional<std::string>& key);
  TLEventProperties& setInt64(std::int64_t value, const std::optional<std::string>& key);
  TLEventProperties& setBool(bool value, const std::optional<std::string>& key);
  // NaN and infinities are refused with an error line.
  TLEventProperties& setDouble(double value, const std::optional<std::string>& key);
  // Stores a property under `name` as it is (replacing one of that name).
  void put(const std::string& name, std::shared_ptr<const TLTypedProperty> property);
  // True when an entry was removed.
  bool remove(const std::string& name);
  // Adds all of `other`'s entries, replacing same-named ones.
  void mergeEventProperties(const TLEventProperties& other);

  // A snapshot of the map.
  Properties properties() const;
  bool contains(const std::string& name) const;
  std::size_t count() const;
  bool isEmpty() const;
  // Each property's JSON object ("type", "name", "value") in name order.
  TLJsonValue serializeToArray() const;

  static bool validateKey(const std::optional<std::string>& key);
  template <class T>
  static bool validateValue(const std::optional<T>& value) {
    if (value) return true;
    TL_LOG_ERROR(kBeaconAnalyticsLogTag, "Value cannot be null. Property will not be added.");
    return false;
  }

  static constexpr std::string_view kClassName = "TLEventProperties";
  std::string_view className() const override { return kClassName; }
  // The array of serializeToArray().
  TLJsonValue serializeToDictionary() const override { return serializeToArray(); }
  bool isValid() const override { return true; }
  // The same names with equal properties (type and value).
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;

 private:
  template <class P, class V>
  void store(const std::string& key, V value);

  mutable std::mutex lock_;
  Properties properties_;
};

}  // namespace ml::beacon

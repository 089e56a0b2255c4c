#pragma once
// A property-list value: string, integer, real, boolean, date, data, array or dictionary. A plain
// value type (copies are deep, equality compares contents). Accessors of the wrong kind give
// nothing rather than converting; Preferences adds the lenient conversions callers expect.
#include <chrono>
#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ml::foundation {

class PlistValue {
 public:
  using Date = std::chrono::system_clock::time_point;
  using Data = std::vector<std::uint8_t>;
  using Array = std::vector<PlistValue>;
  using Dictionary = std::map<std::string, PlistValue, std::less<>>;

  enum class Kind { string, integer, real, boolean, date, data, array, dictionary };

  PlistValue() : storage_(std::string()) {}  // the empty string
  PlistValue(std::string value) : storage_(std::move(value)) {}
  PlistValue(std::string_view value) : storage_(std::string(value)) {}
  PlistValue(const char* value) : storage_(std::string(value ? value : "")) {}
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  PlistValue(I value) : storage_(static_cast<std::int64_t>(value)) {}
  PlistValue(double value) : storage_(value) {}
  PlistValue(bool value) : storage_(value) {}
  PlistValue(Date value) : storage_(value) {}
  PlistValue(Data value) : storage_(std::move(value)) {}
  PlistValue(Array value) : storage_(std::move(value)) {}
  PlistValue(Dictionary value) : storage_(std::move(value)) {}

  Kind kind() const { return static_cast<Kind>(storage_.index()); }

  const std::string* string() const { return std::get_if<std::string>(&storage_); }
  std::optional<std::int64_t> integer() const { return get<std::int64_t>(); }
  std::optional<double> real() const { return get<double>(); }
  std::optional<bool> boolean() const { return get<bool>(); }
  std::optional<Date> date() const { return get<Date>(); }
  const Data* data() const { return std::get_if<Data>(&storage_); }
  const Array* array() const { return std::get_if<Array>(&storage_); }
  const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage_); }
  Array* array() { return std::get_if<Array>(&storage_); }
  Dictionary* dictionary() { return std::get_if<Dictionary>(&storage_); }

  // The value at `key` of a dictionary; null for another kind or a missing key.
  const PlistValue* find(std::string_view key) const;

  friend bool operator==(const PlistValue&, const PlistValue&) = default;

 private:
  template <class T>
  std::optional<T> get() const {
    if (const T* v = std::get_if<T>(&storage_)) return *v;
    return std::nullopt;
  }

  // Order matches Kind.
  std::variant<std::string, std::int64_t, double, bool, Date, Data, Array, Dictionary> storage_;
};

// "string", "integer", ... for messages.
std::string_view name(PlistValue::Kind kind);

}  // namespace ml::foundation

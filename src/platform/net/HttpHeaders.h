#pragma once
// The header fields of an HTTP request or response, in the order they were set or received.
// Names compare without regard to ASCII case, as HTTP wants; the spelling of the first setting
// is kept for output. A plain value type; not synchronised.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ml::net {

class HttpHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  HttpHeaders() = default;
  HttpHeaders(std::initializer_list<Field> fields);

  // Replaces the value of the first field of that name (and drops any later ones), or appends
  // the field when there is none.
  void set(std::string name, std::string value);
  // Appends a field even when one of that name exists (responses may repeat fields).
  void add(std::string name, std::string value);
  void remove(std::string_view name);

  // The value of the first field of that name.
  std::optional<std::string> value(std::string_view name) const;
  bool contains(std::string_view name) const { return value(name).has_value(); }

  const std::vector<Field>& fields() const { return fields_; }
  std::size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }

  static bool namesEqual(std::string_view a, std::string_view b);

  friend bool operator==(const HttpHeaders&, const HttpHeaders&) = default;

 private:
  std::vector<Field> fields_;
};

}  // namespace ml::net

#include "platform/net/HttpHeaders.h"

#include <algorithm>

namespace ml::net {

namespace {
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

HttpHeaders::HttpHeaders(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) add(name, value);
}

bool HttpHeaders::namesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

void HttpHeaders::set(std::string name, std::string value) {
  auto first = std::find_if(fields_.begin(), fields_.end(), [&](const Field& f) { return namesEqual(f.first, name); });
  if (first == fields_.end()) {
    fields_.emplace_back(std::move(name), std::move(value));
    return;
  }
  first->second = std::move(value);
  auto index = first - fields_.begin();
  fields_.erase(std::remove_if(fields_.begin() + index + 1, fields_.end(),
                               [&](const Field& f) { return namesEqual(f.first, name); }),
                fields_.end());
}

void HttpHeaders::add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }

void HttpHeaders::remove(std::string_view name) {
  fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const Field& f) { return namesEqual(f.first, name); }),
                fields_.end());
}

std::optional<std::string> HttpHeaders::value(std::string_view name) const {
  for (const auto& [fieldName, fieldValue] : fields_) {
    if (namesEqual(fieldName, name)) return fieldValue;
  }
  return std::nullopt;
}

}  // namespace ml::net

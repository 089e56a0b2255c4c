#pragma once
// An absolute URL split into its parts, parsed and composed by the HTTP client library's URL
// parser, so what is accepted here is exactly what a session can send to. Parts are kept in their
// encoded form. A plain value type.
#include <optional>
#include <string>
#include <string_view>

namespace ml::net {

class Url {
 public:
  // Nothing for text that is not an absolute URL with a scheme the client supports and a host.
  static std::optional<Url> parse(std::string_view text);

  std::optional<std::string> scheme;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> host;
  std::optional<std::string> port;
  std::optional<std::string> path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  // The URL text of the parts; nothing when they do not form a valid URL.
  std::optional<std::string> string() const;

  // Percent-encodes every byte outside the URL query's allowed set (letters, digits and
  // "!$&'()*+,-./:;=?@_~"), as UTF-8 bytes, with upper-case hex digits.
  static std::string percentEncodeQuery(std::string_view text);
};

}  // namespace ml::net

#include "platform/net/Url.h"

#include <curl/curl.h>

#include <memory>

namespace ml::net {

namespace {

struct UrlHandleDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

struct CurlStringDeleter {
  void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> getPart(CURLU* handle, CURLUPart part) {
  char* raw = nullptr;
  if (curl_url_get(handle, part, &raw, 0) != CURLUE_OK || !raw) return std::nullopt;
  std::unique_ptr<char, CurlStringDeleter> owned(raw);
  return std::string(owned.get());
}

bool setPart(CURLU* handle, CURLUPart part, const std::optional<std::string>& value) {
  if (!value) return true;
  return curl_url_set(handle, part, value->c_str(), 0) == CURLUE_OK;
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
  UrlHandle handle(curl_url());
  if (!handle) return std::nullopt;
  std::string copy(text);
  if (copy.find('\0') != std::string::npos) return std::nullopt;
  if (curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return std::nullopt;
  Url url;
  url.scheme = getPart(handle.get(), CURLUPART_SCHEME);
  url.user = getPart(handle.get(), CURLUPART_USER);
  url.password = getPart(handle.get(), CURLUPART_PASSWORD);
  url.host = getPart(handle.get(), CURLUPART_HOST);
  url.port = getPart(handle.get(), CURLUPART_PORT);
  url.path = getPart(handle.get(), CURLUPART_PATH);
  url.query = getPart(handle.get(), CURLUPART_QUERY);
  url.fragment = getPart(handle.get(), CURLUPART_FRAGMENT);
  if (!url.scheme || !url.host) return std::nullopt;
  return url;
}

std::optional<std::string> Url::string() const {
  UrlHandle handle(curl_url());
  if (!handle) return std::nullopt;
  if (!setPart(handle.get(), CURLUPART_SCHEME, scheme) || !setPart(handle.get(), CURLUPART_USER, user) ||
      !setPart(handle.get(), CURLUPART_PASSWORD, password) || !setPart(handle.get(), CURLUPART_HOST, host) ||
      !setPart(handle.get(), CURLUPART_PORT, port) || !setPart(handle.get(), CURLUPART_PATH, path) ||
      !setPart(handle.get(), CURLUPART_QUERY, query) || !setPart(handle.get(), CURLUPART_FRAGMENT, fragment)) {
    return std::nullopt;
  }
  auto text = getPart(handle.get(), CURLUPART_URL);
  if (!text) return std::nullopt;
  // What the parts compose must itself parse (a host with a path but no scheme does not).
  if (!parse(*text)) return std::nullopt;
  return text;
}

std::string Url::percentEncodeQuery(std::string_view text) {
  static constexpr std::string_view kAllowedPunctuation = "!$&'()*+,-./:;=?@_~";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    bool allowed = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                   (byte != 0 && kAllowedPunctuation.find(c) != std::string_view::npos);
    if (allowed) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace ml::net

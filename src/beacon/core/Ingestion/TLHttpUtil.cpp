#include "beacon/core/Ingestion/TLHttpUtil.h"

#include <vector>

#include "platform/net/UrlError.h"

namespace ml::beacon {

namespace {

bool isUrlDomain(const foundation::Error& error) { return error.domain == net::kUrlErrorDomain; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool matchesTokenKeyAt(std::string_view text, std::size_t at) {
  static constexpr std::string_view kKey = "\"token\"";
  if (at + kKey.size() > text.size()) return false;
  for (std::size_t i = 0; i < kKey.size(); ++i) {
    if (lower(text[at + i]) != kKey[i]) return false;
  }
  return true;
}

}  // namespace

bool TLHttpUtil::isRecoverableError(long statusCode) {
  return statusCode == 0 || statusCode == 408 || statusCode == 429 || statusCode >= 500;
}

bool TLHttpUtil::isSuccessStatusCode(long statusCode) { return statusCode >= 200 && statusCode < 300; }

bool TLHttpUtil::isRedirection(long statusCode) { return statusCode >= 300 && statusCode < 400; }

bool TLHttpUtil::isNoInternetConnectionError(const foundation::Error& error) {
  return isUrlDomain(error) && (error.code == static_cast<int>(net::UrlErrorCode::notConnectedToInternet) ||
                                error.code == static_cast<int>(net::UrlErrorCode::networkConnectionLost));
}

bool TLHttpUtil::isSSLConnectionError(const foundation::Error& error) {
  return isUrlDomain(error) && error.code >= -2000 && error.code <= -1200;
}

bool TLHttpUtil::isCancelledError(const foundation::Error& error) {
  return isUrlDomain(error) && error.code == static_cast<int>(net::UrlErrorCode::cancelled);
}

std::string TLHttpUtil::hideSecret(std::string_view secret) {
  constexpr std::size_t kVisible = 8;
  if (secret.size() <= kVisible) return std::string(secret.size(), '*');
  return std::string(secret.size() - kVisible, '*') + std::string(secret.substr(secret.size() - kVisible));
}

std::string TLHttpUtil::hideAuthToken(std::string_view token) {
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i < token.size()) {
    while (i < token.size() && isBlank(token[i])) ++i;
    std::size_t start = i;
    while (i < token.size() && !isBlank(token[i])) ++i;
    if (i > start) parts.push_back(token.substr(start, i - start));
  }
  if (parts.size() > 1) return std::string(parts.front()) + " ***";
  return "***";
}

std::string TLHttpUtil::hideTokensInJsonText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (!matchesTokenKeyAt(text, i)) {
      out += text[i++];
      continue;
    }
    // "token" <blanks> : <blanks> "value"
    std::size_t j = i + 7;
    while (j < text.size() && isBlank(text[j])) ++j;
    if (j >= text.size() || text[j] != ':') {
      out.append(text.substr(i, j - i));
      i = j;
      continue;
    }
    ++j;
    while (j < text.size() && isBlank(text[j])) ++j;
    if (j >= text.size() || text[j] != '"') {
      out.append(text.substr(i, j - i));
      i = j;
      continue;
    }
    std::size_t end = j + 1;
    while (end < text.size() && text[end] != '"') end += (text[end] == '\\') ? 2 : 1;
    out.append(text.substr(i, j - i));
    out += "\"***\"";
    i = end < text.size() ? end + 1 : text.size();  // an unterminated value is masked to the end
  }
  return out;
}

}  // namespace ml::beacon

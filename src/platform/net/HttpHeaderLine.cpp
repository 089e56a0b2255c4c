#include "platform/net/HttpHeaderLine.h"

#include <string>
#include <vector>

namespace ml::net {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && (isBlank(text.front()) || text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
  while (!text.empty() && (isBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

// RFC 9110 token characters.
bool isTokenChar(char c) {
  if (c >= 'a' && c <= 'z') return true;
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= '0' && c <= '9') return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

int HttpHeaderBlockReader::parseStatusLine(std::string_view line) {
  line = trim(line);
  if (line.substr(0, 5) != "HTTP/") return 0;
  std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return 0;
  std::string_view rest = line.substr(space + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    char c = rest[static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  if (rest.size() > 3 && rest[3] != ' ') return 0;
  if (code < 100) return 0;
  return code;
}

bool HttpHeaderBlockReader::addLine(std::string_view line) {
  bytes_ += line.size();
  if (bytes_ > kMaxBlockBytes) return false;

  if (int code = parseStatusLine(line)) {
    // A new answer (the first, or the final one after an interim 1xx): start over.
    statusCode_ = code;
    fields_.clear();
    complete_ = false;
    return true;
  }
  std::string_view content = line;
  while (!content.empty() && (content.back() == '\r' || content.back() == '\n')) content.remove_suffix(1);
  if (content.empty()) {
    complete_ = statusCode_ != 0;
    return true;
  }
  if (isBlank(content.front())) {
    // Obsolete line folding: continues the previous field's value.
    if (fields_.empty()) return true;
    std::string_view more = trim(content);
    std::string& value = fields_.back().second;
    if (!more.empty()) value += (value.empty() ? "" : " ") + std::string(more);
    return true;
  }
  std::size_t colon = content.find(':');
  if (colon == std::string_view::npos || colon == 0) return true;  // malformed: skipped
  std::string_view name = content.substr(0, colon);
  for (char c : name) {
    if (!isTokenChar(c)) return true;  // malformed name: skipped
  }
  if (fields_.size() >= kMaxFields) return false;
  fields_.emplace_back(std::string(name), std::string(trim(content.substr(colon + 1))));
  return true;
}

HttpHeaders HttpHeaderBlockReader::headers() const {
  HttpHeaders headers;
  for (const auto& [name, value] : fields_) headers.add(name, value);
  return headers;
}

}  // namespace ml::net

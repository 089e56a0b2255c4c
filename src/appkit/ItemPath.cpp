#include "appkit/ItemPath.h"

#include <string>

namespace ml::appkit {

namespace fs = std::filesystem;

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

fs::path canonicalItemPath(const fs::path& name) {
  if (name.empty()) return name;
  std::error_code error;
  fs::path absolute = fs::absolute(name, error);
  if (error) absolute = name;
  fs::path normal = absolute.lexically_normal();
  // lexically_normal keeps a trailing separator (an empty last component); drop it.
  while (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

fs::path itemName(const fs::path& path) {
  fs::path trimmed = path;
  while (!trimmed.has_filename() && trimmed.has_relative_path()) trimmed = trimmed.parent_path();
  return trimmed.has_relative_path() ? trimmed.filename() : fs::path();
}

std::optional<fs::path> localPathOfFileUrl(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return std::nullopt;
  }
  std::string_view rest = url.substr(kScheme.size());
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view host = rest.substr(0, slash);
  if (!host.empty() && host != "localhost") return std::nullopt;
  std::string_view encoded = rest.substr(slash);
  if (auto end = encoded.find_first_of("?#"); end != std::string_view::npos) encoded = encoded.substr(0, end);
  std::string bytes;
  bytes.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      bytes += encoded[i];
      continue;
    }
    if (i + 2 >= encoded.size()) return std::nullopt;
    int high = hexValue(encoded[i + 1]);
    int low = hexValue(encoded[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (bytes.find('\0') != std::string::npos) return std::nullopt;
  return fs::path(bytes);
}

}  // namespace ml::appkit

#include "list/rows/PathNames.h"

namespace ml::list {

namespace {

std::string_view withoutTrailingSlashes(std::string_view text) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string lastPathComponent(const std::filesystem::path& url) {
  const std::string_view text = withoutTrailingSlashes(url.native());
  if (text == "/") return std::string(text);
  auto slash = text.rfind('/');
  return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

std::string parentPathText(std::string_view location) {
  const std::string_view text = withoutTrailingSlashes(location);
  auto slash = text.rfind('/');
  if (slash == std::string_view::npos) return std::string();
  if (slash == 0) return "/";
  return std::string(text.substr(0, slash));
}

}  // namespace ml::list

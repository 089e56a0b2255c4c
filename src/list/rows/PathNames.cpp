#include "list/rows/PathNames.h"

namespace ml::list {

namespace {

std::string withoutTrailingSlashes(const std::filesystem::path& url) {
  std::string text = url.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

std::string lastPathComponent(const std::filesystem::path& url) {
  std::string text = withoutTrailingSlashes(url);
  if (text == "/") return text;
  auto slash = text.rfind('/');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string parentPathText(const std::filesystem::path& url) {
  std::string text = withoutTrailingSlashes(url);
  auto slash = text.rfind('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return text.substr(0, slash);
}

}  // namespace ml::list

#pragma once
// Names of items as the list window shows and copies them. Pure functions; any thread.
#include <filesystem>
#include <string>
#include <string_view>

namespace ml::list {

// The last component as the user sees it: "b" for "/a/b" and for "/a/b/", "/" for the root.
std::string lastPathComponent(const std::filesystem::path& url);
// The location without its last component: "/a" for "/a/b", "/" for "/a" and for the root.
std::string parentPathText(std::string_view location);
inline std::string parentPathText(const std::filesystem::path& url) { return parentPathText(std::string_view(url.native())); }

}  // namespace ml::list

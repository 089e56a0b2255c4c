#pragma once
// Names of items as the list window shows and copies them. Pure functions; any thread.
#include <filesystem>
#include <string>

namespace ml::list {

// The last component as the user sees it: "b" for "/a/b" and for "/a/b/", "/" for the root.
std::string lastPathComponent(const std::filesystem::path& url);
// The location without its last component: "/a" for "/a/b", "/" for "/a" and for the root.
std::string parentPathText(const std::filesystem::path& url);

}  // namespace ml::list

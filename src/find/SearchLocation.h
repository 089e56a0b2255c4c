#pragma once
// Where a find window searches. Only the root folder and the home folder can be searched; the
// local volumes and a list of other folders are offered but start nothing.
#include <cstdint>
#include <vector>

#include "files/Path.h"

namespace ml::find {

struct SearchLocation {
  enum class Kind : uint8_t { other, local, root, home };
  Kind kind = Kind::root;
  std::vector<files::Path> folders;  // for `other` only

  static SearchLocation other(std::vector<files::Path> folders) { return {Kind::other, std::move(folders)}; }
  static SearchLocation local() { return {Kind::local, {}}; }
  static SearchLocation root() { return {Kind::root, {}}; }
  static SearchLocation home() { return {Kind::home, {}}; }

  friend bool operator==(const SearchLocation&, const SearchLocation&) = default;
};

}  // namespace ml::find

#pragma once
// The item-type criterion: a file (non-folder) of a kind, possibly negated, or a folder.
#include <variant>

#include "files/FileType.h"

namespace ml::find {

struct TypeDescriptor {
  struct File {
    files::FileKind kind = files::FileKind::normal;
    bool negated = false;
    friend bool operator==(const File&, const File&) = default;
  };
  struct Directory {
    friend bool operator==(const Directory&, const Directory&) = default;
  };

  std::variant<File, Directory> value;

  static TypeDescriptor file(files::FileKind kind, bool negated = false) { return {File{kind, negated}}; }
  static TypeDescriptor directory() { return {Directory{}}; }
  bool isDirectory() const { return std::holds_alternative<Directory>(value); }
  const File* asFile() const { return std::get_if<File>(&value); }

  friend bool operator==(const TypeDescriptor&, const TypeDescriptor&) = default;
};

}  // namespace ml::find

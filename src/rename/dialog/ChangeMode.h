#pragma once
// The kind of change chosen in the rename dialog's mode popup: replace text or characters one
// for one, delete text or every listed character, no change, or a regular expression.
// (`delete` is spelled `remove` here.)
#include <ostream>

namespace ml::rename {

class ChangeMode {
 public:
  enum class Kind { replace, remove, none, regex };

  static ChangeMode replace(bool characters) { return ChangeMode(Kind::replace, characters); }
  static ChangeMode remove(bool characters) { return ChangeMode(Kind::remove, characters); }
  static ChangeMode none() { return ChangeMode(Kind::none, false); }
  static ChangeMode regex() { return ChangeMode(Kind::regex, false); }

  Kind kind() const { return kind_; }
  // Whether a replace or delete works on single characters; false for the other kinds.
  bool characters() const { return characters_; }

  bool isReplace() const { return kind_ == Kind::replace; }
  bool isRemove() const { return kind_ == Kind::remove; }

  friend bool operator==(const ChangeMode&, const ChangeMode&) = default;
  // "replace(characters: false)", "none", ...
  friend std::ostream& operator<<(std::ostream& out, const ChangeMode& mode);

 private:
  ChangeMode(Kind kind, bool characters) : kind_(kind), characters_(characters) {}

  Kind kind_ = Kind::replace;
  bool characters_ = false;
};

inline std::ostream& operator<<(std::ostream& out, const ChangeMode& mode) {
  const char* characters = mode.characters() ? "true" : "false";
  switch (mode.kind()) {
    case ChangeMode::Kind::replace: return out << "replace(characters: " << characters << ")";
    case ChangeMode::Kind::remove: return out << "delete(characters: " << characters << ")";
    case ChangeMode::Kind::none: return out << "none";
    case ChangeMode::Kind::regex: return out << "regex";
  }
  return out;
}

}  // namespace ml::rename

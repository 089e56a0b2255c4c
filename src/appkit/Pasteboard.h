#pragma once
// The general pasteboard (the desktop's clipboard), for texts. Thread affinity: main thread.
#include <optional>
#include <string>

namespace ml::appkit {

class Pasteboard {
 public:
  Pasteboard() = delete;
  // Replaces the clipboard's contents with `text`.
  static void setString(const std::string& text);
  // The clipboard's text, or nothing when it holds none.
  static std::optional<std::string> string();
};

}  // namespace ml::appkit

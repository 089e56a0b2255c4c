#pragma once
// Texts that many rows have in common (the name of the volume holding the item, the name of its
// icon), kept once and shared by the rows built together. One thread at a time.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ml::list {

class SharedTexts {
 public:
  using Text = std::shared_ptr<const std::string>;

  // The kept text equal to `text`, kept now if it is new. Past kLimit distinct texts a new one
  // is handed out unshared, so a list of unusual items cannot make this grow without end.
  Text operator()(std::string_view text);

  static constexpr std::size_t kLimit = 256;

 private:
  std::unordered_map<std::string_view, Text> kept_;
};

// `texts`' copy of `text`, or an unshared one when there is no `texts`.
inline SharedTexts::Text shared(SharedTexts* texts, std::string_view text) {
  return texts ? (*texts)(text) : std::make_shared<const std::string>(text);
}

}  // namespace ml::list

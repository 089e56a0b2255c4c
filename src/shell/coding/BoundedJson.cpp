#include "shell/coding/BoundedJson.h"

#include <string>

namespace ml::shell {

namespace {

// A first pass that builds nothing: it only follows the nesting and stops the parser at the first
// level too deep, so a hostile document costs no more than the bytes already received.
class DepthCheck final : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit DepthCheck(std::size_t maxDepth) : maxDepth_(maxDepth) {}

  bool tooDeep() const { return tooDeep_; }

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return enter(); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return leave(); }
  bool start_array(std::size_t) override { return enter(); }
  bool end_array() override { return leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool enter() {
    if (++depth_ > maxDepth_) tooDeep_ = true;
    return !tooDeep_;
  }
  bool leave() {
    --depth_;
    return true;
  }

  std::size_t maxDepth_;
  std::size_t depth_ = 0;
  bool tooDeep_ = false;
};

}  // namespace

foundation::Result<nlohmann::json> parseBoundedJson(std::span<const std::uint8_t> bytes, std::size_t maxDepth) {
  DepthCheck check(maxDepth);
  bool wellFormed = nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &check, nlohmann::json::input_format_t::json,
                                              /*strict=*/true, /*ignore_comments=*/false);
  if (check.tooDeep()) {
    return foundation::Error::make(kJsonErrorDomain, kJsonTooDeep,
                                   "nested more than " + std::to_string(maxDepth) + " levels deep");
  }
  if (!wellFormed) return foundation::Error::make(kJsonErrorDomain, kJsonInvalid, "not valid JSON");
  nlohmann::json json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return foundation::Error::make(kJsonErrorDomain, kJsonInvalid, "not valid JSON");
  return json;
}

}  // namespace ml::shell

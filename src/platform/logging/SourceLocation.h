#pragma once
// The call site of a log call: function, file and line, captured by a defaulted argument so the
// caller writes nothing. This is our own type rather than std::source_location because not every
// compiler we build with (clang 14 over libstdc++ 12) provides the latter; the member names are
// the standard ones, and a std::source_location converts where it exists.
#include <cstdint>
#if __has_include(<source_location>)
#include <source_location>
#endif

namespace ml::logging {

class SourceLocation {
 public:
  static constexpr SourceLocation current(const char* function = __builtin_FUNCTION(),
                                          const char* file = __builtin_FILE(),
                                          std::uint_least32_t line = __builtin_LINE()) noexcept {
    return SourceLocation(function, file, line);
  }

  constexpr SourceLocation() noexcept = default;
  constexpr SourceLocation(const char* function, const char* file, std::uint_least32_t line) noexcept
      : function_(function ? function : ""), file_(file ? file : ""), line_(line) {}
#if defined(__cpp_lib_source_location)
  constexpr SourceLocation(const std::source_location& location) noexcept
      : SourceLocation(location.function_name(), location.file_name(), location.line()) {}
#endif

  // Static strings from the compiler; never null.
  constexpr const char* function_name() const noexcept { return function_; }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr std::uint_least32_t line() const noexcept { return line_; }

 private:
  const char* function_ = "";
  const char* file_ = "";
  std::uint_least32_t line_ = 0;
};

}  // namespace ml::logging

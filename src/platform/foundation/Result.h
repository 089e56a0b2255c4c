#pragma once
// Value-or-error results for fallible calls. An Error names its domain (for system calls the
// POSIX domain with errno and the strerror text), so callers can log it and tests can pin it.
//
// Header-only: using it adds no link dependency. The errno text comes from logging, the layer below.
#include <cerrno>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <variant>

#include "platform/logging/ErrnoText.h"

namespace ml::foundation {

struct Error {
  int code = 0;
  std::string domain;
  std::string message;
  // Further facts about the error by name, numbers only (an HTTP status, ...): what the callers
  // of one domain agree on, such as the telemetry client's "TLConnectionHttpCode".
  std::map<std::string, std::int64_t> userInfo;

  static constexpr const char* kPosixDomain = "NSPOSIXErrorDomain";

  // An error in the POSIX domain: the errno value and its strerror text.
  static Error posix(int errnoValue);
  // The POSIX error for `errnoValue`, its text prefixed by what failed ("open /x/y: No such file...").
  static Error posix(int errnoValue, std::string_view context);
  static Error make(std::string domain, int code, std::string message) {
    return Error{code, std::move(domain), std::move(message)};
  }

  bool isPosix(int errnoValue) const { return domain == kPosixDomain && code == errnoValue; }
  // "NSPOSIXErrorDomain(2): No such file or directory"
  std::string description() const { return domain + "(" + std::to_string(code) + "): " + message; }

  friend bool operator==(const Error&, const Error&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Error& e) { return out << e.description(); }
};

inline Error Error::posix(int errnoValue) {
  return Error{errnoValue, kPosixDomain, logging::errnoText(errnoValue)};
}

inline Error Error::posix(int errnoValue, std::string_view context) {
  Error e = posix(errnoValue);
  if (!context.empty()) e.message = std::string(context) + ": " + e.message;
  return e;
}

// Holds either a T or an Error. Reading value() of an error result is a programming error and
// throws std::bad_variant_access; test ok() (or the bool conversion) first.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return storage_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(storage_); }
  const T& value() const& { return std::get<0>(storage_); }
  T&& value() && { return std::get<0>(std::move(storage_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(storage_); }

  T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }
  std::optional<T> toOptional() const& { return ok() ? std::optional<T>(value()) : std::nullopt; }

 private:
  std::variant<T, Error> storage_;
};

// Success without a value, or an Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}
  static Result success() { return Result(); }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Only valid when !ok().
  const Error& error() const { return error_.value(); }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace ml::foundation

#pragma once
// Sets ICU's default locale (and, when given, time zone) for one test and restores the previous
// ones afterwards, so results do not depend on the machine's LANG or TZ.
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>
#include <stdexcept>

namespace ml::test {

class ScopedIcuDefaults {
 public:
  explicit ScopedIcuDefaults(const char* locale, const char* zone = nullptr)
      : savedLocale_(icu::Locale::getDefault()), savedZone_(icu::TimeZone::createDefault()) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(locale), status);
    if (U_FAILURE(status)) throw std::runtime_error("cannot set the ICU default locale");
    if (zone) {
      auto tz = icu::TimeZone::createTimeZone(zone);
      if (*tz == icu::TimeZone::getUnknown()) throw std::runtime_error("unknown time zone");
      icu::TimeZone::adoptDefault(tz);
    }
  }
  ~ScopedIcuDefaults() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(savedLocale_, status);
    icu::TimeZone::adoptDefault(savedZone_.release());
  }
  ScopedIcuDefaults(const ScopedIcuDefaults&) = delete;
  ScopedIcuDefaults& operator=(const ScopedIcuDefaults&) = delete;

 private:
  icu::Locale savedLocale_;
  std::unique_ptr<icu::TimeZone> savedZone_;
};

}  // namespace ml::test

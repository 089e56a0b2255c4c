#pragma once
// Source of cryptographically secure random bytes. Product code takes a RandomSource& so tests can
// hand in a source that fails; RandomSource::system() is the real one (OpenSSL's DRBG).
#include <cstdint>
#include <span>

namespace ml::security {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Fills every byte of `out`. Answers 0 on success and a non-zero status otherwise; on failure the
  // contents of `out` are unspecified and must not be used. Thread-safe.
  virtual int fill(std::span<std::uint8_t> out) = 0;

  // The process's secure random source. Never fails silently: an exhausted or broken DRBG answers
  // its OpenSSL error code (or -1 when OpenSSL gives none).
  static RandomSource& system();
};

}  // namespace ml::security

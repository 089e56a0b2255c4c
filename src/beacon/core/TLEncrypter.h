#pragma once
// Encryption of values the telemetry client keeps at rest (target tokens in the log database,
// the auth-token history in the settings, values of the crash service).
//
// AES-256-CBC with PKCS#7 padding and a fresh random IV per value, with one of two keys that take
// turns every 365 days, so a value written before a rotation stays readable after it. Keys are 32
// random bytes made on this machine when first needed and kept in the key store (TLKeychainUtil)
// under their slot's tag, as Base64 text; no key is part of the program.
//
// Binary form of a value: "<tag>/AES/CBC/PKCS7/32" ":" <16-byte IV> <ciphertext>.
// A legacy value (written before keys carried tags) is the ciphertext alone, made with the
// original slot's key and an all-zero IV. The text form is the Base64 of the binary form.
//
// Every failure answers nothing and logs under the core's tag; nothing is thrown. Thread-safe:
// key-tag resolution, rotation and key creation are serialised on one class-wide lock; the key
// cache of an instance has its own.
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "beacon/core/TLUserDefaults.h"
#include "platform/dispatch/Clock.h"
#include "platform/security/Aes256Cbc.h"
#include "platform/security/Bytes.h"
#include "platform/security/RandomSource.h"

namespace ml::beacon {

class TLEncrypter {
 public:
  using Bytes = security::Bytes;
  using ByteView = security::ByteView;

  static constexpr std::string_view kOriginalKeyTag = "kTLEncryptionKeyTag";
  static constexpr std::string_view kAlternateKeyTag = "kTLEncryptionKeyTagAlternate";
  static constexpr std::string_view kMetadataKey = "TLEncryptionKeyMetadata";
  static constexpr std::chrono::seconds kKeyLifetime{365 * 24 * 3600};
  static constexpr std::size_t kKeySize = security::Aes256Cbc::kKeySize;
  static constexpr std::size_t kIvSize = security::Aes256Cbc::kBlockSize;

  // Over the system's secure random source, the shared settings store and the system clock.
  TLEncrypter();
  TLEncrypter(security::RandomSource& random, TLUserDefaults& settings, dispatch::Clock& clock);

  std::optional<std::string> encryptString(std::string_view plaintext);
  std::optional<Bytes> encryptData(ByteView plaintext);
  // Nothing, with a warning, for text that is not Base64 or a result that is not UTF-8.
  std::optional<std::string> decryptString(std::string_view text);
  // Nothing for data too short to hold its IV, a ciphertext that is not whole blocks, a wrong key
  // or bad padding.
  std::optional<Bytes> decryptData(ByteView data);

  // The tag to encrypt with now; rotates to the other slot when the current one has expired (or
  // the stored metadata is missing or unreadable).
  std::string getCurrentKeyTag();
  // Makes `tag` current for 365 days from now.
  void rotateToNewKeyTag(std::string_view tag);
  // The key of the slot named by `tag` (the original slot for kOriginalKeyTag, the alternate slot
  // for any other), loaded from the key store or made and stored there. Nothing when no usable key
  // can be had (random source failed, or the stored text is not a 32-byte Base64 key).
  std::optional<Bytes> getKeyWithKeyTag(std::string_view tag);

  static std::optional<Bytes> performCryptoOperation(security::Aes256Cbc::Operation operation, ByteView input,
                                                     ByteView iv, ByteView key);
  // 32 fresh random bytes stored under `tag`; nothing (and no key stored) when the random source
  // fails or the key cannot be stored.
  std::optional<Bytes> generateAndSaveKeyWithTag(std::string_view tag);
  // 16 fresh random bytes; nothing when the random source fails.
  std::optional<Bytes> generateInitializationVector();
  // "<tag>/AES/CBC/PKCS7/32" as bytes.
  static Bytes getMetadataStringWithKeyTag(std::string_view tag);

 private:
  std::string getCurrentKeyTagLocked();
  void rotateLocked(std::string_view tag);
  std::optional<Bytes> cachedKey(bool original) const;
  void cacheKey(bool original, const Bytes& key);

  security::RandomSource& random_;
  TLUserDefaults& settings_;
  dispatch::Clock& clock_;

  mutable std::mutex cacheLock_;
  std::optional<Bytes> originalKeyData_;
  std::optional<Bytes> alternateKeyData_;
};

}  // namespace ml::beacon

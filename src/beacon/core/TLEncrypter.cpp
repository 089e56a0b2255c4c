#include "beacon/core/TLEncrypter.h"

#include <algorithm>

#include "beacon/core/TLKeychainUtil.h"
#include "beacon/core/TLLogger.h"
#include "beacon/core/TLUtilityDate.h"
#include "beacon/core/Utf8.h"
#include "platform/security/Base64.h"

namespace ml::beacon {

using security::Aes256Cbc;
using security::Base64;

namespace {

constexpr std::string_view kMetadataSuffix = "/AES/CBC/PKCS7/32";

std::mutex& classLock() {
  static std::mutex lock;
  return lock;
}

bool isOriginal(std::string_view tag) { return tag == TLEncrypter::kOriginalKeyTag; }
bool isKnownTag(std::string_view tag) { return tag == TLEncrypter::kOriginalKeyTag || tag == TLEncrypter::kAlternateKeyTag; }

// The key tag of a modern value's metadata, or nothing when `data` does not begin with
// "<tag>/AES/CBC/PKCS7/32:" (then it is a legacy value). Recognising the whole metadata, not just
// "some UTF-8 text before a colon", keeps legacy ciphertexts that happen to hold a colon from
// being misread as tagged values.
std::optional<std::string_view> metadataTag(security::ByteView data, std::size_t& headerLength) {
  auto colon = std::find(data.begin(), data.end(), static_cast<std::uint8_t>(':'));
  if (colon == data.end()) return std::nullopt;
  std::string_view metadata(reinterpret_cast<const char*>(data.data()), static_cast<std::size_t>(colon - data.begin()));
  if (!utf8::isValid(metadata) || metadata.size() <= kMetadataSuffix.size() || !metadata.ends_with(kMetadataSuffix)) {
    return std::nullopt;
  }
  std::string_view tag = metadata.substr(0, metadata.size() - kMetadataSuffix.size());
  if (tag.empty() || tag.find('/') != std::string_view::npos) return std::nullopt;
  headerLength = metadata.size() + 1;
  return tag;
}

}  // namespace

TLEncrypter::TLEncrypter()
    : TLEncrypter(security::RandomSource::system(), TLUserDefaults::shared(), dispatch::Clock::system()) {}

TLEncrypter::TLEncrypter(security::RandomSource& random, TLUserDefaults& settings, dispatch::Clock& clock)
    : random_(random), settings_(settings), clock_(clock) {}

// --- Key tags

std::string TLEncrypter::getCurrentKeyTag() {
  std::lock_guard guard(classLock());
  return getCurrentKeyTagLocked();
}

std::string TLEncrypter::getCurrentKeyTagLocked() {
  auto stored = settings_.objectForKey(kMetadataKey);
  const std::string* metadata = stored ? stored->string() : nullptr;
  if (!metadata) {
    // Fresh install: the first key ever used is the alternate one.
    rotateLocked(kAlternateKeyTag);
    return std::string(kAlternateKeyTag);
  }
  std::string_view text = *metadata;
  std::size_t slash = text.find('/');
  std::string_view tag = text.substr(0, slash);
  std::optional<TLUtilityDate::Date> expiry;
  if (slash != std::string_view::npos) expiry = TLUtilityDate::dateFromISO8601(text.substr(slash + 1));
  if (isKnownTag(tag) && expiry && *expiry > clock_.now()) return std::string(tag);
  // Expired, unreadable expiry, or a tag that names no slot: the other slot takes over.
  std::string_view next = isOriginal(tag) ? kAlternateKeyTag : kOriginalKeyTag;
  if (!isKnownTag(tag)) next = kAlternateKeyTag;
  rotateLocked(next);
  return std::string(next);
}

void TLEncrypter::rotateToNewKeyTag(std::string_view tag) {
  std::lock_guard guard(classLock());
  rotateLocked(tag);
}

void TLEncrypter::rotateLocked(std::string_view tag) {
  auto expiry = clock_.now() + kKeyLifetime;
  settings_.setObject(foundation::PlistValue(std::string(tag) + "/" + TLUtilityDate::dateToISO8601(expiry)), kMetadataKey);
}

// --- Keys

std::optional<TLEncrypter::Bytes> TLEncrypter::cachedKey(bool original) const {
  std::lock_guard guard(cacheLock_);
  return original ? originalKeyData_ : alternateKeyData_;
}

void TLEncrypter::cacheKey(bool original, const Bytes& key) {
  std::lock_guard guard(cacheLock_);
  (original ? originalKeyData_ : alternateKeyData_) = key;
}

std::optional<TLEncrypter::Bytes> TLEncrypter::getKeyWithKeyTag(std::string_view tag) {
  bool original = isOriginal(tag);
  if (auto cached = cachedKey(original)) return cached;
  // The key store is addressed by slot, so any tag other than the original names the alternate.
  std::string account(original ? kOriginalKeyTag : kAlternateKeyTag);
  auto decode = [&](const std::string& text) -> std::optional<Bytes> {
    auto key = Base64::decode(text);
    if (!key || key->size() != kKeySize) {
      TL_LOG_ERROR(kBeaconLogTag, "Stored encryption key " << account << " is not usable.");
      return std::nullopt;
    }
    return key;
  };
  if (auto stored = TLKeychainUtil::stringForKey(account)) return decode(*stored);

  std::lock_guard guard(classLock());
  std::optional<Bytes> key;
  if (auto stored = TLKeychainUtil::stringForKey(account)) {
    key = decode(*stored);  // another thread made it meanwhile
  } else {
    key = generateAndSaveKeyWithTag(account);
  }
  if (key) cacheKey(original, *key);
  return key;
}

std::optional<TLEncrypter::Bytes> TLEncrypter::generateAndSaveKeyWithTag(std::string_view tag) {
  Bytes key(kKeySize);
  if (int status = random_.fill(key); status != 0) {
    TL_LOG_ERROR(kBeaconLogTag, "Error generating encryption key. Error code: " << status);
    return std::nullopt;
  }
  if (!TLKeychainUtil::storeString(Base64::encode(key), tag)) {
    // A key that is not stored would make every value written with it unreadable after a restart.
    TL_LOG_ERROR(kBeaconLogTag, "Error storing encryption key " << tag << ".");
    return std::nullopt;
  }
  return key;
}

std::optional<TLEncrypter::Bytes> TLEncrypter::generateInitializationVector() {
  Bytes iv(kIvSize);
  if (int status = random_.fill(iv); status != 0) {
    TL_LOG_ERROR(kBeaconLogTag, "Error generating initialization vector. Error code: " << status);
    return std::nullopt;
  }
  return iv;
}

TLEncrypter::Bytes TLEncrypter::getMetadataStringWithKeyTag(std::string_view tag) {
  std::string metadata = std::string(tag) + std::string(kMetadataSuffix);
  return Bytes(metadata.begin(), metadata.end());
}

std::optional<TLEncrypter::Bytes> TLEncrypter::performCryptoOperation(Aes256Cbc::Operation operation, ByteView input,
                                                                      ByteView iv, ByteView key) {
  auto output = Aes256Cbc::perform(operation, input, iv, key);
  if (!output) TL_LOG_ERROR(kBeaconLogTag, "Error performing encryption or decryption.");
  return output;
}

// --- Values

std::optional<TLEncrypter::Bytes> TLEncrypter::encryptData(ByteView plaintext) {
  std::string tag = getCurrentKeyTag();
  auto key = getKeyWithKeyTag(tag);
  if (!key) return std::nullopt;
  auto iv = generateInitializationVector();
  if (!iv) return std::nullopt;
  auto ciphertext = performCryptoOperation(Aes256Cbc::Operation::encrypt, plaintext, *iv, *key);
  if (!ciphertext) return std::nullopt;
  Bytes out = getMetadataStringWithKeyTag(tag);
  out.push_back(':');
  out.insert(out.end(), iv->begin(), iv->end());
  out.insert(out.end(), ciphertext->begin(), ciphertext->end());
  return out;
}

std::optional<TLEncrypter::Bytes> TLEncrypter::decryptData(ByteView data) {
  std::size_t header = 0;
  if (auto tag = metadataTag(data, header)) {
    if (data.size() < header + kIvSize + Aes256Cbc::kBlockSize) return std::nullopt;  // no room for IV and one block
    auto key = getKeyWithKeyTag(*tag);
    if (!key) return std::nullopt;
    return performCryptoOperation(Aes256Cbc::Operation::decrypt, data.subspan(header + kIvSize),
                                  data.subspan(header, kIvSize), *key);
  }
  if (data.empty() || data.size() % Aes256Cbc::kBlockSize != 0) return std::nullopt;
  auto key = getKeyWithKeyTag(kOriginalKeyTag);
  if (!key) return std::nullopt;
  return performCryptoOperation(Aes256Cbc::Operation::decrypt, data, {}, *key);
}

std::optional<std::string> TLEncrypter::encryptString(std::string_view plaintext) {
  auto encrypted = encryptData(security::asBytes(plaintext));
  if (!encrypted) return std::nullopt;
  return Base64::encode(*encrypted);
}

std::optional<std::string> TLEncrypter::decryptString(std::string_view text) {
  auto data = Base64::decode(text);
  if (!data) {
    TL_LOG_WARNING(kBeaconLogTag, "Conversion of encrypted string to NSData failed.");
    return std::nullopt;
  }
  auto plaintext = decryptData(*data);
  if (!plaintext || !utf8::isValid(security::asString(*plaintext))) {
    TL_LOG_WARNING(kBeaconLogTag, "Converting decrypted NSData to NSString failed.");
    return std::nullopt;
  }
  return security::asString(*plaintext);
}

}  // namespace ml::beacon

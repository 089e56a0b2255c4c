#include "beacon/core/TLKeychainUtil.h"

#include "platform/foundation/AppFolders.h"
#include "platform/foundation/AppIdentity.h"

namespace ml::beacon {

using security::KeyStore;

std::string TLKeychainUtil::serviceName() { return foundation::AppIdentity::identifier() + ".Beacon"; }

KeyStore TLKeychainUtil::keyStore() { return KeyStore(foundation::AppFolders::data() / "keystore"); }

bool TLKeychainUtil::storeString(std::string_view value, std::string_view key, std::string_view service) {
  // One atomic replace rather than delete-then-add: a reader never finds the item missing in
  // between (a missing key would make the encrypter mint a new one and lose old values).
  return keyStore().set(service, key, security::asBytes(value)) == KeyStore::kSuccess;
}

std::optional<std::string> TLKeychainUtil::stringForKey(std::string_view key, std::string_view service) {
  auto bytes = keyStore().copy(service, key);
  if (!bytes) return std::nullopt;
  return security::asString(*bytes);
}

std::optional<std::string> TLKeychainUtil::deleteStringForKey(std::string_view key, std::string_view service) {
  auto old = stringForKey(key, service);
  if (!old) return std::nullopt;
  if (keyStore().remove(service, key) != KeyStore::kSuccess) return std::nullopt;
  return old;
}

bool TLKeychainUtil::clear() { return keyStore().removeAll(serviceName()) == KeyStore::kSuccess; }

}  // namespace ml::beacon

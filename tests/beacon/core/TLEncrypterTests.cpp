#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon/core/TLEncrypter.h"
#include "beacon/core/TLKeychainUtil.h"
#include "platform/dispatch/ManualClock.h"
#include "platform/security/Aes256Cbc.h"
#include "platform/security/Base64.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

using foundation::PlistValue;
using security::Base64;
using security::Bytes;

class FailingRandomSource final : public security::RandomSource {
 public:
  int fill(std::span<std::uint8_t>) override { return 42; }
};

// Fails from the nth call on (counting from 1).
class FailingLaterRandomSource final : public security::RandomSource {
 public:
  explicit FailingLaterRandomSource(int failFrom) : failFrom_(failFrom) {}
  int fill(std::span<std::uint8_t> out) override {
    if (++calls_ >= failFrom_) return 7;
    return security::RandomSource::system().fill(out);
  }

 private:
  int failFrom_;
  int calls_ = 0;
};

std::string textOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class TLEncrypterTest : public ::testing::Test {
 protected:
  test::XdgSandbox sandbox;
  test::TempDir temp;
  foundation::Preferences preferences{temp.path() / "prefs.plist"};
  dispatch::ManualClock clock;
  TLUserDefaults settings{preferences, clock};
  test::LogCapture capture;

  TLEncrypter make(security::RandomSource& random = security::RandomSource::system()) {
    return TLEncrypter(random, settings, clock);
  }
};

TEST_F(TLEncrypterTest, FirstValueUsesTheAlternateKeyAndItsMarker) {
  auto encrypter = make();
  auto encrypted = encrypter.encryptString("secret token");
  ASSERT_TRUE(encrypted);
  auto binary = Base64::decode(*encrypted);
  ASSERT_TRUE(binary);
  std::string prefix = "kTLEncryptionKeyTagAlternate/AES/CBC/PKCS7/32:";
  EXPECT_EQ(textOf(*binary).substr(0, prefix.size()), prefix);
  EXPECT_EQ(binary->size(), prefix.size() + 16 + 16);
  EXPECT_EQ(encrypted->find('\n'), std::string::npos);
  auto metadata = preferences.string("TLEncryptionKeyMetadata");
  ASSERT_TRUE(metadata);
  EXPECT_EQ(*metadata, "kTLEncryptionKeyTagAlternate/2026-01-01T00:00:00.000Z");  // clock start + 365 days
  auto storedKey = TLKeychainUtil::stringForKey("kTLEncryptionKeyTagAlternate");
  ASSERT_TRUE(storedKey);
  EXPECT_EQ(storedKey->size(), 44u);
}

TEST_F(TLEncrypterTest, SameTextTwiceGivesTwoOutputsThatBothDecrypt) {
  auto encrypter = make();
  auto a = encrypter.encryptString("same");
  auto b = encrypter.encryptString("same");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(encrypter.decryptString(*a), "same");
  EXPECT_EQ(encrypter.decryptString(*b), "same");
  EXPECT_EQ(make().decryptString(*a), "same");  // a new encrypter finds the stored key
}

TEST_F(TLEncrypterTest, AfterAYearTheOriginalKeyTakesOverAndOldValuesStillDecrypt) {
  auto encrypter = make();
  auto old = encrypter.encryptString("before");
  clock.advance(std::chrono::hours(24 * 366));
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTag");
  auto fresh = encrypter.encryptString("after");
  ASSERT_TRUE(old && fresh);
  EXPECT_EQ(textOf(*Base64::decode(*fresh)).rfind("kTLEncryptionKeyTag/AES/CBC/PKCS7/32:", 0), 0u);
  EXPECT_EQ(encrypter.decryptString(*old), "before");
  EXPECT_EQ(encrypter.decryptString(*fresh), "after");
  clock.advance(std::chrono::hours(24 * 366));
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTagAlternate");
  EXPECT_EQ(encrypter.decryptString(*old), "before");  // the slot's key was kept, not replaced
}

TEST_F(TLEncrypterTest, UnreadableOrUnknownMetadataCountsAsExpired) {
  auto encrypter = make();
  settings.setObject(PlistValue("kTLEncryptionKeyTagAlternate/not a date"), "TLEncryptionKeyMetadata");
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTag");
  settings.setObject(PlistValue("kTLEncryptionKeyTag/garbage"), "TLEncryptionKeyMetadata");
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTagAlternate");
  settings.setObject(PlistValue("someOtherTag/2099-01-01T00:00:00.000Z"), "TLEncryptionKeyMetadata");
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTagAlternate");
  settings.setObject(PlistValue(5), "TLEncryptionKeyMetadata");
  EXPECT_EQ(encrypter.getCurrentKeyTag(), "kTLEncryptionKeyTagAlternate");
}

TEST_F(TLEncrypterTest, LegacyZeroIvValueDecryptsWithTheOriginalKey) {
  Bytes key(32);
  for (int i = 0; i < 32; ++i) key[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(TLKeychainUtil::storeString(Base64::encode(key), "kTLEncryptionKeyTag"));
  std::string plain = "legacy value";
  auto legacy = security::Aes256Cbc::encrypt(security::asBytes(plain), {}, key);
  ASSERT_TRUE(legacy);
  EXPECT_EQ(make().decryptString(Base64::encode(*legacy)), plain);
}

TEST_F(TLEncrypterTest, LegacyValueWithAColonIsNotMistakenForATaggedValue) {
  Bytes key(32, 3);
  ASSERT_TRUE(TLKeychainUtil::storeString(Base64::encode(key), "kTLEncryptionKeyTag"));
  // Find a plaintext whose legacy ciphertext has a colon with valid UTF-8 text before it.
  for (int i = 0; i < 2000; ++i) {
    std::string plain = "value-" + std::to_string(i);
    auto legacy = *security::Aes256Cbc::encrypt(security::asBytes(plain), {}, key);
    auto colon = std::find(legacy.begin(), legacy.end(), ':');
    if (colon == legacy.end() || colon - legacy.begin() > 2) continue;
    bool ascii = std::all_of(legacy.begin(), colon, [](std::uint8_t c) { return c < 0x80; });
    if (!ascii) continue;
    EXPECT_EQ(make().decryptString(Base64::encode(legacy)), plain);
    return;
  }
  GTEST_SKIP() << "no such ciphertext among the candidates";
}

TEST_F(TLEncrypterTest, ShortOrGarbageInputAnswersNothing) {
  auto encrypter = make();
  auto valid = *encrypter.encryptData(security::asBytes("x"));
  std::size_t header = std::string("kTLEncryptionKeyTagAlternate/AES/CBC/PKCS7/32:").size();
  for (std::size_t cut : {header, header + 5, header + 16, header + 17}) {
    EXPECT_FALSE(encrypter.decryptData(std::span(valid.data(), cut))) << cut;
  }
  EXPECT_FALSE(encrypter.decryptData(Bytes{}));
  EXPECT_FALSE(encrypter.decryptData(security::asBytes("kTLEncryptionKeyTagAlternate/AES/CBC/PKCS7/32:")));
  EXPECT_FALSE(encrypter.decryptData(Bytes(15, 1)));
  Bytes flipped = valid;
  flipped.back() ^= 0xff;
  auto garbled = encrypter.decryptData(flipped);  // the padding check decides; it must not crash
  if (garbled) {
    EXPECT_NE(*garbled, Bytes{'x'});
  }
}

TEST_F(TLEncrypterTest, NonBase64TextWarnsAndAnswersNothing) {
  EXPECT_FALSE(make().decryptString("not base64!"));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Conversion of encrypted string to NSData failed."), 1u);
}

TEST_F(TLEncrypterTest, NonUtf8PlaintextWarnsAndAnswersNothing) {
  auto encrypter = make();
  Bytes invalid{0xff, 0xfe, 0x00};
  auto encrypted = encrypter.encryptData(invalid);
  ASSERT_TRUE(encrypted);
  EXPECT_EQ(encrypter.decryptData(*encrypted), invalid);
  EXPECT_FALSE(encrypter.decryptString(Base64::encode(*encrypted)));
  EXPECT_EQ(capture.count(TLLogLevel::warning, "Converting decrypted NSData to NSString failed."), 1u);
}

TEST_F(TLEncrypterTest, FailingRandomSourceMakesEncryptionFailAndStoresNoKey) {
  FailingRandomSource failing;
  auto encrypter = make(failing);
  EXPECT_FALSE(encrypter.encryptString("secret"));
  EXPECT_EQ(capture.count(TLLogLevel::error, "Error generating encryption key. Error code: 42"), 1u);
  EXPECT_FALSE(TLKeychainUtil::stringForKey("kTLEncryptionKeyTagAlternate"));
}

TEST_F(TLEncrypterTest, FailingIvMakesEncryptionFail) {
  FailingLaterRandomSource failing(2);  // the key succeeds, the IV fails
  auto encrypter = make(failing);
  EXPECT_FALSE(encrypter.encryptString("secret"));
  EXPECT_EQ(capture.count(TLLogLevel::error, "Error generating initialization vector. Error code: 7"), 1u);
}

TEST_F(TLEncrypterTest, CorruptStoredKeyIsNotUsed) {
  ASSERT_TRUE(TLKeychainUtil::storeString("c2hvcnQ=", "kTLEncryptionKeyTagAlternate"));
  EXPECT_FALSE(make().encryptString("secret"));
  EXPECT_EQ(TLKeychainUtil::stringForKey("kTLEncryptionKeyTagAlternate"), "c2hvcnQ=");  // left for inspection
}

TEST_F(TLEncrypterTest, KeyOfEachSlotIsMadeOnceAndKept) {
  auto encrypter = make();
  auto original = encrypter.getKeyWithKeyTag("kTLEncryptionKeyTag");
  auto alternate = encrypter.getKeyWithKeyTag("kTLEncryptionKeyTagAlternate");
  ASSERT_TRUE(original && alternate);
  EXPECT_NE(*original, *alternate);
  EXPECT_EQ(make().getKeyWithKeyTag("kTLEncryptionKeyTag"), original);
  EXPECT_EQ(encrypter.getKeyWithKeyTag("anything else"), alternate);
}

}  // namespace
}  // namespace ml::beacon

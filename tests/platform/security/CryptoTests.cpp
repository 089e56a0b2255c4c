#include <gtest/gtest.h>

#include "platform/security/Aes256Cbc.h"
#include "platform/security/Base64.h"
#include "platform/security/RandomSource.h"
#include "platform/security/Sha256.h"

namespace ml::security {
namespace {

Bytes bytesOf(std::string_view text) {
  auto view = asBytes(text);
  return {view.begin(), view.end()};
}

Bytes hexBytes(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

TEST(Aes256Cbc, MatchesTheStandardTestVector) {
  // NIST SP 800-38A F.2.5, first block; PKCS#7 adds one block of padding after it.
  Bytes key = hexBytes("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  Bytes iv = hexBytes("000102030405060708090a0b0c0d0e0f");
  Bytes plain = hexBytes("6bc1bee22e409f96e93d7e117393172a");
  auto cipher = Aes256Cbc::encrypt(plain, iv, key);
  ASSERT_TRUE(cipher);
  ASSERT_EQ(cipher->size(), 32u);
  EXPECT_EQ(Bytes(cipher->begin(), cipher->begin() + 16), hexBytes("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));
  EXPECT_EQ(Aes256Cbc::decrypt(*cipher, iv, key), plain);
}

TEST(Aes256Cbc, EmptyIvMeansZeroIv) {
  Bytes key(32, 7);
  Bytes zero(16, 0);
  auto a = Aes256Cbc::encrypt(bytesOf("hello"), {}, key);
  auto b = Aes256Cbc::encrypt(bytesOf("hello"), zero, key);
  ASSERT_TRUE(a);
  EXPECT_EQ(a, b);
  EXPECT_EQ(Aes256Cbc::decrypt(*a, {}, key), bytesOf("hello"));
}

TEST(Aes256Cbc, RefusesWrongSizesAndBadCiphertext) {
  Bytes key(32, 1), iv(16, 2);
  EXPECT_FALSE(Aes256Cbc::encrypt(bytesOf("x"), iv, Bytes(31, 1)));
  EXPECT_FALSE(Aes256Cbc::encrypt(bytesOf("x"), Bytes(15, 2), key));
  EXPECT_FALSE(Aes256Cbc::decrypt(Bytes{}, iv, key));
  EXPECT_FALSE(Aes256Cbc::decrypt(Bytes(17, 0), iv, key));
  auto cipher = Aes256Cbc::encrypt(bytesOf("some text"), iv, key);
  ASSERT_TRUE(cipher);
  EXPECT_FALSE(Aes256Cbc::decrypt(*cipher, iv, Bytes(32, 9)));  // wrong key: padding check fails
}

TEST(Aes256Cbc, EmptyPlaintextEncryptsToOnePaddingBlock) {
  Bytes key(32, 1), iv(16, 2);
  auto cipher = Aes256Cbc::encrypt(Bytes{}, iv, key);
  ASSERT_TRUE(cipher);
  EXPECT_EQ(cipher->size(), 16u);
  EXPECT_EQ(Aes256Cbc::decrypt(*cipher, iv, key), Bytes{});
}

TEST(Sha256, HexOfKnownInputs) {
  EXPECT_EQ(Sha256::hex(asBytes("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256::hex(asBytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  EXPECT_EQ(Base64::encode(asBytes("")), "");
  EXPECT_EQ(Base64::encode(asBytes("f")), "Zg==");
  EXPECT_EQ(Base64::encode(asBytes("fo")), "Zm8=");
  EXPECT_EQ(Base64::encode(asBytes("foo")), "Zm9v");
  EXPECT_EQ(Base64::encode(Bytes(32, 0xff)).size(), 44u);
  EXPECT_EQ(Base64::encode(Bytes(300, 0xff)).find('\n'), std::string::npos);
}

TEST(Base64, DecodesWhatItEncodes) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  for (std::size_t n = 0; n < all.size(); n += 37) {
    Bytes part(all.begin(), all.begin() + n);
    EXPECT_EQ(Base64::decode(Base64::encode(part)), part);
  }
}

TEST(Base64, RejectsMalformedText) {
  for (std::string_view bad : {"Zg=", "Zg", "Z===", "Zh==", "Zm9=", "Zg==Zg==", "Zm 9v", "Zm9v\n", "Zm-v", "=Zm9", "Zg=a"}) {
    EXPECT_FALSE(Base64::decode(bad)) << bad;
  }
  EXPECT_EQ(Base64::decode(""), Bytes{});
}

TEST(RandomSource, SystemSourceFillsAndDiffers) {
  Bytes a(32), b(32);
  ASSERT_EQ(RandomSource::system().fill(a), 0);
  ASSERT_EQ(RandomSource::system().fill(b), 0);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace ml::security

#include <gtest/gtest.h>


#include "beacon/core/Ingestion/TLCompression.h"
#include "beacon/core/Ingestion/TLHttpUtil.h"
#include "platform/net/UrlError.h"
#include "support/Gunzip.h"

namespace ml::beacon {
namespace {

using ml::test::gunzip;

TEST(TLHttpUtil, RecoverableStatusesAreNoAnswerTimeoutThrottlingAndServerErrors) {
  for (long status : {0L, 408L, 429L, 500L, 503L, 599L, 700L}) EXPECT_TRUE(TLHttpUtil::isRecoverableError(status)) << status;
  for (long status : {200L, 204L, 301L, 400L, 401L, 403L, 404L, 499L}) EXPECT_FALSE(TLHttpUtil::isRecoverableError(status)) << status;
  EXPECT_TRUE(TLHttpUtil::isSuccessStatusCode(200));
  EXPECT_TRUE(TLHttpUtil::isSuccessStatusCode(299));
  EXPECT_FALSE(TLHttpUtil::isSuccessStatusCode(300));
  EXPECT_FALSE(TLHttpUtil::isSuccessStatusCode(199));
}

TEST(TLHttpUtil, TellsNetworkLossAndTlsFailuresApart) {
  using net::UrlErrorCode;
  EXPECT_TRUE(TLHttpUtil::isNoInternetConnectionError(net::makeUrlError(UrlErrorCode::notConnectedToInternet)));
  EXPECT_TRUE(TLHttpUtil::isNoInternetConnectionError(net::makeUrlError(UrlErrorCode::networkConnectionLost)));
  EXPECT_FALSE(TLHttpUtil::isNoInternetConnectionError(net::makeUrlError(UrlErrorCode::timedOut)));
  EXPECT_TRUE(TLHttpUtil::isSSLConnectionError(net::makeUrlError(UrlErrorCode::secureConnectionFailed)));
  EXPECT_TRUE(TLHttpUtil::isSSLConnectionError(net::makeUrlError(UrlErrorCode::serverCertificateUntrusted)));
  EXPECT_FALSE(TLHttpUtil::isSSLConnectionError(net::makeUrlError(UrlErrorCode::cannotConnectToHost)));
  // Same codes in another domain are not transport errors.
  EXPECT_FALSE(TLHttpUtil::isNoInternetConnectionError(foundation::Error::make("other", -1009, "")));
  EXPECT_FALSE(TLHttpUtil::isSSLConnectionError(foundation::Error::make("other", -1200, "")));
}

TEST(TLHttpUtil, HideSecretKeepsOnlyTheLastEightCharacters) {
  EXPECT_EQ(TLHttpUtil::hideSecret("abcd12345678"), "****12345678");
  EXPECT_EQ(TLHttpUtil::hideSecret(std::string(24, 'a') + "TAIL1234"), std::string(24, '*') + "TAIL1234");
  EXPECT_EQ(TLHttpUtil::hideSecret("12345678"), "********");
  EXPECT_EQ(TLHttpUtil::hideSecret("abc"), "***");
  EXPECT_EQ(TLHttpUtil::hideSecret(""), "");
}

TEST(TLHttpUtil, HideAuthTokenShowsOnlyTheSchemeWord) {
  EXPECT_EQ(TLHttpUtil::hideAuthToken("Bearer eyJhbGciOi.payload.sig"), "Bearer ***");
  EXPECT_EQ(TLHttpUtil::hideAuthToken("  Bearer   a b "), "Bearer ***");
  EXPECT_EQ(TLHttpUtil::hideAuthToken("eyJhbGciOi.payload.sig"), "***");
  EXPECT_EQ(TLHttpUtil::hideAuthToken(""), "***");
}

TEST(TLHttpUtil, MasksTokenValuesWhateverTheSpacingAndEscapes) {
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("{\n  \"token\": \"abc\",\n  \"other\": \"x\"\n}"),
            "{\n  \"token\": \"***\",\n  \"other\": \"x\"\n}");
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("{\"Token\" : \"a\\\"b\\\\\"}"), "{\"Token\" : \"***\"}");
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("[{\"token\":\"1\"},{\"token\":\"2\"}]"),
            "[{\"token\":\"***\"},{\"token\":\"***\"}]");
  // Not a token field, or not a string value: untouched.
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("{\"tokens\":\"a\",\"token\":5}"), "{\"tokens\":\"a\",\"token\":5}");
  // A cut-off value is masked to the end.
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("{\"token\": \"secret-and-cut"), "{\"token\": \"***\"");
  EXPECT_EQ(TLHttpUtil::hideTokensInJsonText("\"token\""), "\"token\"");
}

TEST(TLCompression, GzipRoundTripsAndStartsWithTheGzipMagic) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "{\"type\":\"event\",\"n\":" + std::to_string(i) + "}";
  std::vector<std::uint8_t> input(text.begin(), text.end());
  auto compressed = TLCompression::compressData(input);
  ASSERT_TRUE(compressed);
  ASSERT_GE(compressed->size(), 2u);
  EXPECT_EQ((*compressed)[0], 0x1f);
  EXPECT_EQ((*compressed)[1], 0x8b);
  EXPECT_LT(compressed->size(), input.size());
  EXPECT_EQ(gunzip(*compressed), std::string(input.begin(), input.end()));
}

TEST(TLCompression, IncompressibleInputStillCompressesCompletely) {
  std::vector<std::uint8_t> input(5000);
  std::uint32_t state = 12345;
  for (auto& byte : input) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  auto compressed = TLCompression::compressData(input);
  ASSERT_TRUE(compressed);
  EXPECT_EQ(gunzip(*compressed), std::string(input.begin(), input.end()));
}

TEST(TLCompression, EmptyDataGivesNothing) { EXPECT_FALSE(TLCompression::compressData({})); }

}  // namespace
}  // namespace ml::beacon

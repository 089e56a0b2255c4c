#include <gtest/gtest.h>

#include "platform/net/CurlErrors.h"
#include "platform/net/Url.h"
#include "platform/net/UrlError.h"

#include <curl/curl.h>

#include <cerrno>

namespace ml::net {
namespace {

TEST(Url, ParsesEveryPart) {
  auto url = Url::parse("https://u:p@in.beacon.marrowlane.org:8443/logs?api-version=1.0.0#f");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme, "https");
  EXPECT_EQ(url->user, "u");
  EXPECT_EQ(url->password, "p");
  EXPECT_EQ(url->host, "in.beacon.marrowlane.org");
  EXPECT_EQ(url->port, "8443");
  EXPECT_EQ(url->path, "/logs");
  EXPECT_EQ(url->query, "api-version=1.0.0");
  EXPECT_EQ(url->fragment, "f");
}

TEST(Url, RefusesRelativeTextAndUnsupportedSchemes) {
  EXPECT_FALSE(Url::parse("/logs"));
  EXPECT_FALSE(Url::parse("not a url"));
  EXPECT_FALSE(Url::parse("gopherx://host/"));
  EXPECT_FALSE(Url::parse(std::string("http://host/\0x", 15)));
}

TEST(Url, ComposesChangedPartsKeepingTheQuery) {
  auto url = Url::parse("https://old.example.org/logs?api-version=1.0.0");
  ASSERT_TRUE(url);
  url->host = "new.example.org";
  url->path = "/v2/logs";
  EXPECT_EQ(url->string(), "https://new.example.org/v2/logs?api-version=1.0.0");
  url->scheme.reset();
  EXPECT_FALSE(url->string());
}

TEST(Url, PercentEncodesOutsideTheQueryAllowedSet) {
  EXPECT_EQ(Url::percentEncodeQuery("api-version=1.0.0&a=b c"), "api-version=1.0.0&a=b%20c");
  EXPECT_EQ(Url::percentEncodeQuery("x=\"#%[]\xC3\xA9"), "x=%22%23%25%5B%5D%C3%A9");
}

TEST(CurlErrors, MapsTransferResultsToUrlLoadingCodes) {
  auto code = [](CurlFailure failure) { return urlErrorForCurlFailure(failure).code; };
  EXPECT_EQ(code({CURLE_COULDNT_CONNECT, ECONNREFUSED}), static_cast<int>(UrlErrorCode::cannotConnectToHost));
  EXPECT_EQ(code({CURLE_COULDNT_CONNECT, ENETUNREACH}), static_cast<int>(UrlErrorCode::notConnectedToInternet));
  EXPECT_EQ(code({CURLE_OPERATION_TIMEDOUT}), static_cast<int>(UrlErrorCode::timedOut));
  EXPECT_EQ(code({CURLE_PARTIAL_FILE}), static_cast<int>(UrlErrorCode::networkConnectionLost));
  EXPECT_EQ(code({CURLE_GOT_NOTHING}), static_cast<int>(UrlErrorCode::networkConnectionLost));
  EXPECT_EQ(code({CURLE_SSL_CONNECT_ERROR}), static_cast<int>(UrlErrorCode::secureConnectionFailed));
  EXPECT_EQ(code({CURLE_PEER_FAILED_VERIFICATION}), static_cast<int>(UrlErrorCode::serverCertificateUntrusted));
  EXPECT_EQ(code({CURLE_COULDNT_RESOLVE_HOST}), static_cast<int>(UrlErrorCode::cannotFindHost));
  EXPECT_EQ(code({CURLE_WRITE_ERROR, 0, true}), static_cast<int>(UrlErrorCode::dataLengthExceedsMaximum));
  EXPECT_EQ(code({CURLE_OK, 0, false, false, true}), static_cast<int>(UrlErrorCode::cancelled));
  auto error = urlErrorForCurlFailure({CURLE_OPERATION_TIMEDOUT, 0, false, false, false, "after 200 ms"});
  EXPECT_EQ(error.domain, kUrlErrorDomain);
  EXPECT_NE(error.message.find("after 200 ms"), std::string::npos);
}

}  // namespace
}  // namespace ml::net

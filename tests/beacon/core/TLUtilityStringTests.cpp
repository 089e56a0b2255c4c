#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon/core/TLUtility.h"

namespace ml::beacon {
namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(TLUtilityConfiguration, BareSecretIsTheWholeStringWithoutToken) {
  EXPECT_EQ(TLUtility::appSecretFrom("0123456789abcdef0123456789abcdef"), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(TLUtility::transmissionTargetTokenFrom("0123456789abcdef0123456789abcdef"), std::nullopt);
}

TEST(TLUtilityConfiguration, PrefixedPartsYieldBothValuesWithoutPrefixes) {
  EXPECT_EQ(TLUtility::appSecretFrom("appsecret=abc;target=tok-1"), "abc");
  EXPECT_EQ(TLUtility::transmissionTargetTokenFrom("appsecret=abc;target=tok-1"), "tok-1");
  EXPECT_EQ(TLUtility::appSecretFrom(";;target=tok;secret"), "secret");
}

TEST(TLUtilityConfiguration, EmptyResultsAnswerNothing) {
  EXPECT_EQ(TLUtility::appSecretFrom("appsecret="), std::nullopt);
  EXPECT_EQ(TLUtility::appSecretFrom("target=tok"), std::nullopt);
  EXPECT_EQ(TLUtility::appSecretFrom(""), std::nullopt);
  EXPECT_EQ(TLUtility::transmissionTargetTokenFrom("secret;target="), std::nullopt);
}

TEST(TLUtilityConfiguration, TargetKeyIsTextBeforeFirstDash) {
  EXPECT_EQ(TLUtility::targetKeyFromTargetToken("key-rest-more"), "key");
  EXPECT_EQ(TLUtility::targetKeyFromTargetToken("nodash"), "nodash");
  EXPECT_EQ(TLUtility::targetKeyFromTargetToken("-leading"), std::nullopt);
  EXPECT_EQ(TLUtility::iKeyFromTargetToken("key-rest"), "o:key");
  EXPECT_EQ(TLUtility::iKeyFromTargetToken("-rest"), std::nullopt);
}

TEST(TLUtilitySha256, HashesUtf8BytesSoNonAsciiStringsDiffer) {
  EXPECT_EQ(TLUtility::sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string empty = TLUtility::sha256("");
  std::string a = TLUtility::sha256("\xc3\xa9t\xc3\xa9");
  std::string b = TLUtility::sha256("\xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(a.size(), 64u);
  EXPECT_NE(a, b);
  EXPECT_NE(a, empty);
  EXPECT_NE(b, empty);
}

TEST(TLUtilityPrettyPrint, ReindentsJsonAndKeepsSlashesPlain) {
  auto printed = TLUtility::prettyPrintJson(bytes(R"({"url":"http:\/\/x\/y","n":1})"));
  ASSERT_TRUE(printed);
  EXPECT_NE(printed->find("\"url\": \"http://x/y\""), std::string::npos) << *printed;
  EXPECT_NE(printed->find('\n'), std::string::npos);
}

TEST(TLUtilityPrettyPrint, BackslashBeforeSlashSurvives) {
  // The value is the three characters a\/ ; its JSON text is "a\\/".
  auto printed = TLUtility::prettyPrintJson(bytes(R"(["a\\/"])"));
  ASSERT_TRUE(printed);
  EXPECT_NE(printed->find(R"("a\\/")"), std::string::npos) << *printed;
}

TEST(TLUtilityPrettyPrint, NonJsonComesBackUnchangedAndNoDataAnswersNothing) {
  EXPECT_EQ(TLUtility::prettyPrintJson(bytes("not json {")), "not json {");
  EXPECT_EQ(TLUtility::prettyPrintJson(std::nullopt), std::nullopt);
  std::string deep(100000, '[');
  EXPECT_EQ(TLUtility::prettyPrintJson(bytes(deep)), deep);
}

TEST(TLUtilityObfuscate, ReplacesCaseInsensitiveMatches) {
  auto masked = TLUtility::obfuscateString(R"({"Token":"abc","x":"TOKEN"})", R"("token"\s*:\s*"[^"]*")",
                                           R"("token":"***")");
  EXPECT_EQ(masked, R"({"token":"***","x":"TOKEN"})");
  EXPECT_EQ(TLUtility::obfuscateString("Bearer abc.def", "(Bearer) .*", "$1 ***"), "Bearer ***");
  EXPECT_EQ(TLUtility::obfuscateString(std::nullopt, "x", "y"), std::nullopt);
}

TEST(TLUtilityObfuscate, InvalidPatternLogsAndAnswersNothing) {
  test::LogCapture capture;
  EXPECT_EQ(TLUtility::obfuscateString("text", "(unclosed", "x"), std::nullopt);
  EXPECT_EQ(capture.count(TLLogLevel::error, "Couldn't create regular expression with pattern\"(unclosed\": "), 1u);
}

TEST(TLUtilityObfuscate, LongestAllowedTextIsMasked) {
  std::string text = R"({"token":")" + std::string(TLUtility::kMaxObfuscatedLength - 12, 'a') + R"("})";
  ASSERT_EQ(text.size(), TLUtility::kMaxObfuscatedLength);
  EXPECT_EQ(TLUtility::obfuscateString(text, R"("token"\s*:\s*"[^"]*")", R"("token":"***")"), R"({"token":"***"})");
}

TEST(TLUtilityObfuscate, OverlongTextIsNotAnsweredUnmasked) {
  std::string text(TLUtility::kMaxObfuscatedLength + 1, 'a');
  EXPECT_EQ(TLUtility::obfuscateString(text, "a+", "*"), std::nullopt);
}

TEST(TLUtilitySdk, RecordLivesInItsOwnSectionAndNamesTheLibrary) {
  EXPECT_EQ(TLUtility::sdkName(), "beacon.macos");
  EXPECT_EQ(TLUtility::sdkVersion(), "2.3.0");
}

}  // namespace
}  // namespace ml::beacon

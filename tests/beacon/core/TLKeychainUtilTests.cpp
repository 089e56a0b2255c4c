#include <gtest/gtest.h>

#include "beacon/core/TLKeychainUtil.h"
#include "support/TempDir.h"

namespace ml::beacon {
namespace {

class TLKeychainUtilTest : public ::testing::Test {
 protected:
  test::XdgSandbox sandbox;
};

TEST_F(TLKeychainUtilTest, DefaultServiceIsTheApplicationIdentifierAndBeacon) {
  EXPECT_EQ(TLKeychainUtil::serviceName(), "org.marrowlane.Marrowlane.Beacon");
  EXPECT_EQ(TLKeychainUtil::keyStore().root(), sandbox.root() / "XDG_DATA_HOME" / "org.marrowlane.Marrowlane" / "keystore");
}

TEST_F(TLKeychainUtilTest, StoringOverAnExistingItemReplacesIt) {
  EXPECT_TRUE(TLKeychainUtil::storeString("one", "key"));
  EXPECT_TRUE(TLKeychainUtil::storeString("two", "key"));
  EXPECT_EQ(TLKeychainUtil::stringForKey("key"), "two");
}

TEST_F(TLKeychainUtilTest, DeleteAnswersTheOldValueOnce) {
  TLKeychainUtil::storeString("secret", "key");
  EXPECT_EQ(TLKeychainUtil::deleteStringForKey("key"), "secret");
  EXPECT_EQ(TLKeychainUtil::deleteStringForKey("key"), std::nullopt);
  EXPECT_EQ(TLKeychainUtil::stringForKey("key"), std::nullopt);
}

TEST_F(TLKeychainUtilTest, ServicesAreSeparateAndClearTouchesOnlyTheDefault) {
  TLKeychainUtil::storeString("a", "key");
  TLKeychainUtil::storeString("b", "key", "other.service");
  EXPECT_EQ(TLKeychainUtil::stringForKey("key", "other.service"), "b");
  EXPECT_TRUE(TLKeychainUtil::clear());
  EXPECT_EQ(TLKeychainUtil::stringForKey("key"), std::nullopt);
  EXPECT_EQ(TLKeychainUtil::stringForKey("key", "other.service"), "b");
  EXPECT_FALSE(TLKeychainUtil::clear());  // nothing left to clear
}

}  // namespace
}  // namespace ml::beacon

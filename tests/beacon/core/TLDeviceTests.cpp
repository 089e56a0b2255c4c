#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "beacon/core/TLDevice.h"
#include "beacon/core/TLKeyedArchiver.h"
#include "beacon/core/TLKeyedUnarchiver.h"

namespace ml::beacon {
namespace {

TEST(TLDevice, RequiredFieldsAloneAreValidAndWriteOnlyTheirKeys) {
  auto device = test::validDevice();
  EXPECT_TRUE(device->isValid());
  TLJsonValue json = device->serializeToDictionary();
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"sdkName", "sdkVersion", "osName", "osVersion", "locale", "timeZoneOffset",
                                            "appVersion", "appBuild"}));
  EXPECT_TRUE(json["timeZoneOffset"].is_number_integer());
  EXPECT_EQ(json["timeZoneOffset"], 60);
}

TEST(TLDevice, WrapperFieldsComeFirstInTheJson) {
  TLJsonValue json = test::fullDevice()->serializeToDictionary();
  EXPECT_EQ(json.begin().key(), "wrapperSdkVersion");
  EXPECT_EQ(json.size(), 22u);
  EXPECT_EQ(json["osApiLevel"], 33);
}

TEST(TLDevice, EachRequiredFieldIsNeeded) {
  auto clear = std::vector<void (*)(TLDevice&)>{
      [](TLDevice& d) { d.sdkName.reset(); },    [](TLDevice& d) { d.sdkVersion.reset(); },
      [](TLDevice& d) { d.osName.reset(); },     [](TLDevice& d) { d.osVersion.reset(); },
      [](TLDevice& d) { d.locale.reset(); },     [](TLDevice& d) { d.timeZoneOffset.reset(); },
      [](TLDevice& d) { d.appVersion.reset(); }, [](TLDevice& d) { d.appBuild.reset(); },
  };
  for (auto reset : clear) {
    auto device = test::validDevice();
    reset(*device);
    EXPECT_FALSE(device->isValid());
  }
}

TEST(TLDevice, RecordsDifferingOnlyInPackageHashAreNotEqual) {
  auto a = test::fullDevice();
  auto b = test::fullDevice();
  EXPECT_TRUE(a->isEqual(*b));
  b->liveUpdatePackageHash = "other";
  EXPECT_FALSE(a->isEqual(*b));
  TLWrapperSdk wrapper;
  EXPECT_FALSE(a->isEqual(wrapper));
}

TEST(TLDevice, ArchivedRecordDecodesEqualWithWrapperFields) {
  auto device = test::fullDevice();
  auto data = TLKeyedArchiver::archivedData(*device);
  ASSERT_TRUE(data) << data.error();
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLDevice>(*data);
  ASSERT_TRUE(decoded) << decoded.error();
  EXPECT_TRUE((*decoded)->isEqual(*device));
  EXPECT_EQ((*decoded)->liveUpdatePackageHash, "hash");
}

TEST(TLWrapperSdk, ConstructorStoresTheSixValuesInOrderAndIsAlwaysValid) {
  TLWrapperSdk wrapper("1", "name", "rt", "label", "key", "hash");
  EXPECT_TRUE(wrapper.isValid());
  TLJsonValue json = wrapper.serializeToDictionary();
  EXPECT_EQ(json.dump(), R"({"wrapperSdkVersion":"1","wrapperSdkName":"name","wrapperRuntimeVersion":"rt",)"
                         R"("liveUpdateReleaseLabel":"label","liveUpdateDeploymentKey":"key","liveUpdatePackageHash":"hash"})");
  auto data = TLKeyedArchiver::archivedData(wrapper);
  ASSERT_TRUE(data);
  auto decoded = TLKeyedUnarchiver::unarchivedObjectOfClass<TLWrapperSdk>(*data);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE((*decoded)->isEqual(wrapper));
}

}  // namespace
}  // namespace ml::beacon

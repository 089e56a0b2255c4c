#include <gtest/gtest.h>

#include "beacon/core/TLSdkRecord.h"

extern "C" const char __start_beacon_sdk[];
extern "C" const char __stop_beacon_sdk[];

namespace ml::beacon {
namespace {

TEST(TLSdkRecord, SectionHoldsExactlyTheRecord) {
  const TLSdkRecord& record = tlSdkRecord();
  EXPECT_EQ(__stop_beacon_sdk - __start_beacon_sdk, 97);
  EXPECT_EQ(reinterpret_cast<const char*>(&record), __start_beacon_sdk);
  EXPECT_EQ(record.recordVersion, 1);
  EXPECT_STREQ(record.build, "1");
}

}  // namespace
}  // namespace ml::beacon

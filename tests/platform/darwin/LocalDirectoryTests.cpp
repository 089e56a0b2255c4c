#include "platform/darwin/LocalDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ml::darwin {
namespace {

TEST(LocalDirectory, RootAccountAndGroupAreListedAndNamed) {
  auto users = userRecordNames();
  ASSERT_TRUE(users);
  EXPECT_NE(std::find(users->begin(), users->end(), "root"), users->end());
  auto groups = groupRecordNames();
  ASSERT_TRUE(groups);
  EXPECT_NE(std::find(groups->begin(), groups->end(), "root"), groups->end());
  EXPECT_EQ(userName(0), "root");
  EXPECT_EQ(groupName(0), "root");
  EXPECT_EQ(userName(4000000000u), std::nullopt);
}

}  // namespace
}  // namespace ml::darwin

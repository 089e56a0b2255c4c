#include "util/WeakReference.h"

#include <gtest/gtest.h>

#include <memory>

namespace ml::util {
namespace {

TEST(WeakReferenceTest, ValueBecomesNullOnceTheLastOwnerLetsGo) {
  auto object = std::make_shared<int>(42);
  WeakReference<int> reference(object);
  ASSERT_TRUE(reference.value());
  EXPECT_EQ(*reference.value(), 42);
  object.reset();
  EXPECT_EQ(reference.value(), nullptr);
}

TEST(WeakReferenceTest, DoesNotKeepTheObjectAlive) {
  auto object = std::make_shared<int>(1);
  WeakReference<int> reference(object);
  EXPECT_EQ(object.use_count(), 1);
}

}  // namespace
}  // namespace ml::util

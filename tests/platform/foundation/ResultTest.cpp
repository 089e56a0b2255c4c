#include "platform/foundation/Result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace ml::foundation {
namespace {

TEST(ResultTest, PosixErrorCarriesDomainErrnoAndText) {
  Error e = Error::posix(ENOENT);
  EXPECT_EQ(e.domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(e.code, ENOENT);
  EXPECT_EQ(e.message, std::strerror(ENOENT));
  EXPECT_TRUE(e.isPosix(ENOENT));
  EXPECT_EQ(e.description(), "NSPOSIXErrorDomain(2): No such file or directory");
}

TEST(ResultTest, PosixErrorWithContextPrefixesTheText) {
  Error e = Error::posix(EACCES, "open /x");
  EXPECT_EQ(e.message, std::string("open /x: ") + std::strerror(EACCES));
}

TEST(ResultTest, HoldsEitherValueOrError) {
  Result<int> good = 7;
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, 7);
  EXPECT_EQ(good.valueOr(1), 7);

  Result<int> bad = Error::posix(EIO);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().code, EIO);
  EXPECT_EQ(bad.valueOr(1), 1);
  EXPECT_FALSE(bad.toOptional().has_value());
  EXPECT_THROW((void)bad.value(), std::bad_variant_access);
}

TEST(ResultTest, VoidResultIsSuccessOrError) {
  Status ok;
  EXPECT_TRUE(ok.ok());
  Status failed = Error::make("Domain", 3, "text");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(), Error::make("Domain", 3, "text"));
}

}  // namespace
}  // namespace ml::foundation

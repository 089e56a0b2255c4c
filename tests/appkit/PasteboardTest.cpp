#include "appkit/Pasteboard.h"

#include <gtest/gtest.h>

namespace ml::appkit {
namespace {

TEST(Pasteboard, TextPutOnItReadsBackUnchanged) {
  Pasteboard::setString("Kind: PNG image\ncr\u00E9\u00E9");
  EXPECT_EQ(Pasteboard::string(), "Kind: PNG image\ncr\u00E9\u00E9");
}

}  // namespace
}  // namespace ml::appkit

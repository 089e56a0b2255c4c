#include "shell/preferences/UnmodifiedKeyText.h"

#include <gtest/gtest.h>

#include <memory>

// Xlib's macros (KeyPress, Status, None) must not reach other headers: it comes last.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace ml::shell {
namespace {

// The real map, where an X display is at hand.
TEST(UnmodifiedKeyText, TheX11MapGivesWhatAKeyTypesWithNoModifier) {
  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
  if (!display) GTEST_SKIP() << "no X display (run under xvfb-run to include this test)";
  auto keyText = x11UnmodifiedKeyText();
  auto code = [&](KeySym sym) { return static_cast<std::uint32_t>(XKeysymToKeycode(display.get(), sym)); };
  ASSERT_NE(code(XK_1), 0u);
  EXPECT_EQ(keyText(code(XK_1)), "1");
  EXPECT_EQ(keyText(code(XK_exclam) ? code(XK_exclam) : code(XK_1)), "1");
  EXPECT_EQ(keyText(code(XK_a)), "a");
  EXPECT_EQ(keyText(code(XK_Return)), "");
  EXPECT_EQ(keyText(0), std::nullopt);
}

}  // namespace
}  // namespace ml::shell

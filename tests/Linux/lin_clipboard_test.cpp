// The clipboard round trip through SDL's video subsystem: the offscreen
// driver by default, or the one FLY_TEST_VIDEO names (x11 under xvfb-run for
// the X clipboard itself). No video at all fails the test.
#include "Linux/lin_clipboard.h"

#include <cstdlib>

#include "GenH/butn.h"
#include "support/test_util.h"

namespace {
void use_test_video() {
  const char* v = getenv("FLY_TEST_VIDEO");
  setenv("SDL_VIDEODRIVER", v && *v ? v : "offscreen", 1);
}
}  // namespace

TEST(Clipboard, EmptyClipboardKeepsTheCallersString) {
  use_test_video();
  ASSERT_EQ(LIN_clipboard_open(), 1) << "no video subsystem for the clipboard";
  BTN_text_to_clipboard("");
  std::string s = "mine";
  EXPECT_EQ(BTN_text_from_clipboard(s), 0);
  EXPECT_EQ(s, "mine");
  EXPECT_EQ(BTN_is_text_on_clipboard(), 0);
}

TEST(Clipboard, TextRoundTrip) {
  use_test_video();
  ASSERT_EQ(LIN_clipboard_open(), 1) << "no video subsystem for the clipboard";
  const std::string text = "Flyvane \xC3\xA9t\xC3\xA9\nsecond line";
  BTN_text_to_clipboard(text);
  EXPECT_EQ(BTN_is_text_on_clipboard(), 1);
  std::string got;
  EXPECT_EQ(BTN_text_from_clipboard(got), 1);
  EXPECT_EQ(got, text);
}

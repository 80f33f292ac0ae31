// Key and text events of the window layer reaching the keyboard layer: one
// key event per key, with the character its text input typed.
#include <SDL2/SDL_keycode.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "GenH/keys.h"
#include "GenH/keys_pump.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_window.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
struct seen_key {
  int ch, vkey, flags, clicked;
};
std::vector<seen_key> g_keys;
int take_all(int ch, int vkey, int flags) {
  g_keys.push_back({ch, vkey, flags, mnw.mouse_clicked});
  return 1;
}

struct KeysPump : fly_test::GlTest {
  void SetUp() override {
    fly_test::GlTest::SetUp();
    KEYS_install_hooks();
    keys_hooks.dispatch_to_focus = take_all;
    g_keys.clear();
  }
  void TearDown() override {
    MACIBM_reset_hooks();
    keys_hooks = {nullptr, nullptr};
    fly_test::GlTest::TearDown();
  }
};
}  // namespace

TEST_F(KeysPump, ShiftAPairsWithItsTextAndItsKeyUpRepeatsIt) {
  LIN_script_key(1, SDLK_a, lin_mod_shift, 0);
  LIN_script_text("A");
  LIN_script_key(0, SDLK_a, lin_mod_shift, 0);
  fly_test::run_frames(1);
  ASSERT_EQ(g_keys.size(), 2u);
  EXPECT_EQ(g_keys[0].ch, 'A');
  EXPECT_EQ(g_keys[0].vkey, 65);
  EXPECT_EQ(g_keys[0].flags, 9);
  EXPECT_EQ(g_keys[1].ch, 'A');
  EXPECT_EQ(g_keys[1].flags, 17);
}

TEST_F(KeysPump, KeysWithoutTextAreNeitherLostNorDoubledAndKeepTheirOrder) {
  // Control-C types no text: its control code; a held key-down goes out
  // before the click that follows it; an arrow at the end of the pump too.
  LIN_script_key(1, SDLK_c, lin_mod_control, 0);
  LIN_script_move(50, 50);
  LIN_script_button(1, 1);
  LIN_script_key(1, SDLK_LEFT, 0, 0);
  fly_test::run_frames(1);
  ASSERT_EQ(g_keys.size(), 2u);
  EXPECT_EQ(g_keys[0].ch, 3);
  EXPECT_EQ(g_keys[0].vkey, 67);
  EXPECT_EQ(g_keys[0].flags, 4 | 8);
  EXPECT_EQ(g_keys[0].clicked, 0);  // before the click
  EXPECT_EQ(g_keys[1].vkey, 37);
  EXPECT_EQ(g_keys[1].ch, 28);
  EXPECT_EQ(g_keys[1].clicked, 1);

  // Auto-repeats pair with their texts one by one.
  g_keys.clear();
  LIN_script_key(1, SDLK_x, 0, 0);
  LIN_script_text("x");
  LIN_script_key(1, SDLK_x, 0, 1);
  LIN_script_text("x");
  fly_test::run_frames(1);
  ASSERT_EQ(g_keys.size(), 2u);
  EXPECT_EQ(g_keys[0].flags, 8);
  EXPECT_EQ(g_keys[1].flags, 0);  // auto-key: neither down nor up
  EXPECT_EQ(g_keys[1].ch, 'x');
}

TEST_F(KeysPump, ModifierAndMediaKeysGiveNothingAndTextKeepsWholeCodePoints) {
  LIN_script_key(1, SDLK_LSHIFT, lin_mod_shift, 0);
  LIN_script_key(0, SDLK_LSHIFT, 0, 0);
  LIN_script_key(1, SDLK_RCTRL, lin_mod_control, 0);
  // Scancodes past 255 are keys of their own, not letters.
  for (SDL_Keycode k : {SDLK_MAIL, SDLK_BRIGHTNESSUP, SDLK_EJECT}) {
    LIN_script_key(1, k, 0, 0);
    LIN_script_key(0, k, 0, 0);
  }
  fly_test::run_frames(1);
  EXPECT_TRUE(g_keys.empty());

  // What a dead key composed comes as the text of the key that completes it.
  LIN_script_key(1, SDLK_e, 0, 0);
  LIN_script_text("\xc3\xa9");
  // An input method's commit without a key: one key-down per code point.
  LIN_script_text("\xf0\x9f\x98\x80\xe2\x82\xac");
  fly_test::run_frames(1);
  ASSERT_EQ(g_keys.size(), 3u);
  EXPECT_EQ(g_keys[0].ch, 0xe9);
  EXPECT_EQ(g_keys[0].vkey, 69);
  EXPECT_EQ(g_keys[1].ch, 0x1f600);
  EXPECT_EQ(g_keys[1].vkey, 0);
  EXPECT_EQ(g_keys[2].ch, 0x20ac);
}

TEST_F(KeysPump, ReturnSetsTheFlagOrClosesAFrameworkWindow) {
  KEYS_install_hooks();  // the real focus ring, empty
  int hits = 0;
  static int* p_hits;
  p_hits = &hits;
  fly_test::set_frame([] { *p_hits += return_hit; });
  fly_test::script_key(SDLK_RETURN);
  fly_test::run_frames(1);
  EXPECT_EQ(hits, 1);
  hits = 0;
  fly_test::script_key(SDLK_KP_ENTER);  // keypad Enter is another key
  fly_test::run_frames(1);
  EXPECT_EQ(hits, 0);

  MACIBM_startwind(1, 0);
  fly_test::script_key(SDLK_RETURN);
  fly_test::run_frames(1);
  EXPECT_EQ(mnw.window_type, 0);
}

// Real X input: a child test opens the window on an X server and records
// what reaches the keyboard layer and the frame while xdotool types and
// clicks; the parent reads its record.
namespace {
FILE* g_record = nullptr;
int record_x_key(int ch, int vkey, int flags) {
  fprintf(g_record, "key %d %d %d\n", ch, vkey, flags);
  fflush(g_record);
  return 1;
}
}  // namespace

// The child's side: the test run again with FLY_X_RECORD naming the record.
static void record_x_input(const char* out) {
  g_record = fopen(out, "w");
  ASSERT_TRUE(g_record);
  ASSERT_TRUE(fly_test::gl_open_window());
  KEYS_install_hooks();
  keys_hooks.dispatch_to_focus = record_x_key;
  static int clicks = 0;
  fly_test::set_frame([] {
    if (!mnw.mouse_clicked) return;
    ++clicks;
    fprintf(g_record, "click %g %g\n", mnw.mouse_x, mnw.mouse_y);
    fflush(g_record);
  });
  fprintf(g_record, "ready\n");
  fflush(g_record);
  for (int i = 0; i < 3000 && !clicks; ++i) fly_test::run_frames(1);
  fprintf(g_record, "done\n");
  fclose(g_record);
  MACIBM_nuke_context(0);
}

TEST(XInput, RealKeysAndClicksReachTheKeyboardLayerAndTheFrame) {
  if (const char* out = getenv("FLY_X_RECORD")) return record_x_input(out);
  const std::string record = fly_test::sandbox() + "x_record.txt";
  const std::string script = fly_test::sandbox() + "x.sh";
  // Waits for the window, types a, Shift-b and Return, then clicks at
  // (100, 100) of the window once the keys are through.
  fly_test::write_file(script,
                       "FLY_TEST_VIDEO=x11 FLY_X_RECORD='" + record + "' \"$1\" "
                       "--gtest_filter=XInput.RealKeysAndClicksReachTheKeyboardLayerAndTheFrame & p=$!\n"
                       "w=$(xdotool search --sync --name 'Flyvane Installer' | head -1)\n"
                       "until grep -q ready '" + record + "' 2>/dev/null; do sleep 0.05; done\n"
                       "xdotool windowfocus --sync $w\n"
                       "xdotool key --delay 30 a shift+b Return\n"
                       "until grep -q '^key 13 ' '" + record + "'; do sleep 0.05; done\n"
                       "xdotool mousemove --window $w 100 100 click 1\n"
                       "wait $p\n");
  std::string out;
  fly_test::run("unset SDL_VIDEODRIVER; timeout 60 xvfb-run -a -n $((200 + $$ % 700)) "
                "-s '-screen 0 1024x768x24' sh '" + script + "' '/proc/" +
                    std::to_string(getpid()) + "/exe' 2>&1",
                &out);
  const std::string got = fly_test::read_file(record);
  EXPECT_THAT(got, HasSubstr("key 97 65 8\nkey 97 65 16\n")) << out;
  // Shift itself gives nothing; xdotool lets it go before the letter.
  EXPECT_THAT(got, HasSubstr("key 66 66 9\nkey "));
  EXPECT_THAT(got, ::testing::ContainsRegex("\nkey [0-9]+ 66 1[67]\n"));
  EXPECT_THAT(got, HasSubstr("key 13 13 8\n"));
  // The centre of the pixel clicked, 100 down from the top of 600.
  EXPECT_THAT(got, HasSubstr("click 100.5 499.5\ndone\n"));
}

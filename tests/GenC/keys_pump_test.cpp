// Key and text events of the window layer reaching the keyboard layer: one
// key event per key, with the character its text input typed.
#include <SDL2/SDL_keycode.h>

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

TEST_F(KeysPump, ModifierKeysGiveNothingAndTextKeepsWholeCodePoints) {
  LIN_script_key(1, SDLK_LSHIFT, lin_mod_shift, 0);
  LIN_script_key(0, SDLK_LSHIFT, 0, 0);
  LIN_script_key(1, SDLK_RCTRL, lin_mod_control, 0);
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

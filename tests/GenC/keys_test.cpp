#include <SDL2/SDL_scancode.h>

#include <set>

#include "GenH/keys.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "Linux/lin_keymap.h"
#include "UTL/cmnd.h"
#include "support/test_util.h"

namespace {
template <class T>
int rows_of(const T* t, bool (*end)(const T&)) {
  int n = 0;
  while (!end(t[n])) ++n;
  return n;
}

key_event_record ev(int what, int key_code, int mods, int ch = 0, int lower = 0, int upper = 0) {
  return {what, key_code, mods, ch, lower, upper};
}

struct offered {
  int ch, vkey, flags;
};
std::vector<offered> g_offered;
int g_take_all = 0;
int g_closed = 0;
int record_focus(int ch, int vkey, int flags) {
  g_offered.push_back({ch, vkey, flags});
  return g_take_all;
}

struct Keys : ::testing::Test {
  void SetUp() override {
    keys_hooks = {record_focus, [] { ++g_closed; }};
    mnw.window_type = 0;
    return_hit = escape_hit = delete_hit = 0;
  }
};
}  // namespace

TEST(KeyTables, SizesAndTheFreeKeys) {
  EXPECT_EQ(rows_of<key_name_row>(kKeyNameTable, [](const key_name_row& r) { return !r.code_name; }),
            110);
  EXPECT_EQ(rows_of<key_pair>(kKeyTranslations, [](const key_pair& p) { return !p.a && !p.b; }),
            63);
  EXPECT_EQ(rows_of<key_pair>(kAsciiMappings, [](const key_pair& p) { return !p.a; }), 49);
  EXPECT_EQ(rows_of<key_char_row>(kCharTranslations, [](const key_char_row& r) { return !r.ch; }),
            103);
  for (int i = 1; i < kKeyNameCount; ++i) EXPECT_LT(kKeyNameTable[i - 1].vkey, kKeyNameTable[i].vkey);

  std::vector<int> expect;
  for (int v = 1; v <= 7; ++v) expect.push_back(v);
  for (int v : {10, 11}) expect.push_back(v);
  for (int v = 14; v <= 26; ++v) expect.push_back(v);
  for (int v = 28; v <= 31; ++v) expect.push_back(v);
  for (int v = 58; v <= 64; ++v) expect.push_back(v);
  for (int v = 91; v <= 95; ++v) expect.push_back(v);
  expect.push_back(108);
  for (int v = 136; v <= 175; ++v) expect.push_back(v);
  EXPECT_EQ(expect.size(), 79u);
  EXPECT_EQ(keys.free_vkeys, expect);
  EXPECT_EQ(keys.highest_vkey, 189);

  // An unknown key code k is the k-th free key, counted from 0.
  EXPECT_EQ(keys.vkey_of(0, 0, 0), 1);
  EXPECT_EQ(keys.vkey_of(7, 0, 0), 10);
  EXPECT_EQ(keys.vkey_of(78, 0, 0), 109);  // keypad minus is a known code
  EXPECT_EQ(keys.vkey_of(93, 0, 0), 190 + 93 - 79);
  EXPECT_EQ(keys.vkey_of(-1, 0, 0), 0);
  EXPECT_EQ(keys.vkey_of(5, 'q', 'Q'), 81);  // the layout's character wins
}

TEST(KeyTables, CharactersOfTheUsLayout) {
  int v = 0, f = 0;
  const struct { int ch, vkey, flags; } cases[] = {
      {'!', 49, 1}, {'a', 65, 0}, {'A', 65, 1}, {'{', 179, 1}, {'}', 178, 1}, {'&', 55, 1},
      {'^', 54, 1}, {'~', 186, 1}, {'`', 186, 0}, {' ', 32, 0}, {13, 13, 0}, {30, 38, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(keys.ascii_to_vkey(c.ch, v, f), 1) << c.ch;
    EXPECT_EQ(v * 10 + f, c.vkey * 10 + c.flags) << c.ch;
  }
  v = f = 5;
  EXPECT_EQ(keys.ascii_to_vkey(0, v, f) + v + f, 0);
  EXPECT_EQ(keys.ascii_to_vkey(200, v, f), 0);
}

TEST(KeyNames, ConvertersAndTheirEdges) {
  EXPECT_EQ(keys.vkey_to_str(0), "<NONE>");
  EXPECT_EQ(keys.vkey_to_str(200), "KEY200");
  EXPECT_EQ(keys.vkey_to_str(182), "\\");
  EXPECT_EQ(keys.vkey_to_code(188), "ZKLM_VK_NUMPAD_ENT");
  EXPECT_EQ(keys.vkey_to_code(200), "200");
  EXPECT_EQ(keys.str_to_vkey("KEY200"), 200);
  EXPECT_EQ(keys.str_to_vkey("key200"), 0);  // the prefix is case-sensitive
  EXPECT_EQ(keys.str_to_vkey("numpad-enter"), 188);
  EXPECT_EQ(keys.str_to_vkey("KEY"), 0);
  EXPECT_EQ(keys.str_to_vkey("KEY12x"), 0);
  EXPECT_EQ(keys.str_to_vkey("KEY99999999999"), 0);
  EXPECT_EQ(keys.str_to_vkey("f12"), 123);
  EXPECT_EQ(keys.flag_to_str(7), "SHIFT+ALT+CTRL");
  EXPECT_EQ(keys.flag_to_str(0), "<none>");
  EXPECT_EQ(keys.flag_to_str(12), "CTRL");
  EXPECT_EQ(keys.flag_to_code(0), "0");
  EXPECT_EQ(keys.flag_to_code(5), "zklm_ShiftFlag+zklm_ControlFlag");
  EXPECT_EQ(keys.str_to_flag("CTRL+SHIFT"), 5);
  EXPECT_EQ(keys.str_to_flag(keys.flag_to_str(6)), 6);

  keys.bindings = {{81, 5, 1, 0}, {0, 0, 0, 0}, {8, 0, 0, 0}};
  EXPECT_EQ(keys.get_key_for_cmnd(1), "SHIFT+CTRL-q");
  EXPECT_EQ(keys.get_key_for_cmnd(0), "");  // its first binding has no key
  keys.bindings = {{8, 0, 0, 0}};
  EXPECT_EQ(keys.get_key_for_cmnd(0), "backspace");
  EXPECT_EQ(keys.get_key_for_cmnd(7), "");
  EXPECT_EQ(keys.key_bound_to(8, 0), 0);
  keys.keys_io(0);  // the defaults have no keys
  EXPECT_TRUE(keys.bindings.empty());
  EXPECT_EQ(script_to_utf32('a'), 'a');
  EXPECT_EQ(script_to_utf32(0x80), 0xC4);  // Mac Roman A-umlaut
}

TEST_F(Keys, ShiftAThenItsKeyUp) {
  const key_event_record down = ev(key_ev_down, 0, key_mod_shift, 'A', 'a', 'A');
  const key_event_record up = ev(key_ev_up, 0, key_mod_shift, 0, 'a', 'A');
  keys.handle_key_raw(&down);
  keys.handle_key_raw(&up);
  ASSERT_EQ(g_offered.size(), 2u);
  EXPECT_EQ(g_offered[0].vkey * 1000 + g_offered[0].flags, 65009);
  EXPECT_EQ(g_offered[0].ch, 'A');
  EXPECT_EQ(g_offered[1].vkey * 1000 + g_offered[1].flags, 65017);
  EXPECT_EQ(g_offered[1].ch, 'A');
  EXPECT_EQ(keys.last_key * 10 + keys.last_modifiers, 651);
}

TEST_F(Keys, WholeCodePointsAndFixedSpecialCharacters) {
  const key_event_record emoji = ev(key_ev_down, 0, 0, 0x1F600, 'a', 'A');
  keys.handle_key_raw(&emoji);
  const key_event_record left = ev(key_ev_down, 123, 0, 'x');
  keys.handle_key_raw(&left);
  const key_event_record kp7 = ev(key_ev_down, 89, 0, 0);
  keys.handle_key_raw(&kp7);
  ASSERT_EQ(g_offered.size(), 3u);
  EXPECT_EQ(g_offered[0].ch, 0x1F600);
  EXPECT_EQ(g_offered[1].ch * 1000 + g_offered[1].vkey, 28037);
  EXPECT_EQ(g_offered[2].ch * 1000 + g_offered[2].vkey, '7' * 1000 + 103);
}

TEST_F(Keys, CommandAndControlAreOneBindingKey) {
  const int before = cmnd.press_count(0);
  keys.bindings = {{81, 4, 0, 0}};
  const key_event_record cmd_q = ev(key_ev_down, 12, key_mod_cmd, 'q', 'q', 'Q');
  const key_event_record ctl_q = ev(key_ev_down, 12, key_mod_control, 17, 'q', 'Q');
  const key_event_record up = ev(key_ev_up, 12, key_mod_control, 0, 'q', 'Q');
  keys.handle_key_raw(&cmd_q);
  keys.handle_key_raw(&ctl_q);
  EXPECT_EQ(g_offered[0].flags, 12);
  EXPECT_EQ(g_offered[1].flags, 12);
  EXPECT_EQ(cmnd.press_count(0), before + 2);
  EXPECT_EQ(keys.bindings[0].held, 1);
  keys.run_repeat_keys();
  keys.handle_key_raw(&up);
  EXPECT_EQ(keys.bindings[0].held, 0);
  EXPECT_EQ(g_offered.back().ch, 17);  // the key-up reports its key-down's control code
}

TEST_F(Keys, ReturnEnterEscapeAndDeleteFlags) {
  const key_event_record kp_enter = ev(key_ev_down, 76, 0);
  keys.handle_key_raw(&kp_enter);
  EXPECT_EQ(g_offered.back().vkey, 188);
  EXPECT_EQ(return_hit, 0);
  const key_event_record ret_up = ev(key_ev_up, 36, 0);
  keys.handle_key_raw(&ret_up);
  EXPECT_EQ(return_hit, 0);  // only downs and repeats count
  const key_event_record ret = ev(key_ev_auto, 36, 0);
  keys.handle_key_raw(&ret);
  EXPECT_EQ(g_offered.back().ch * 1000 + g_offered.back().vkey, 13013);
  EXPECT_EQ(return_hit, 1);
  const key_event_record esc = ev(key_ev_down, 53, 0), del = ev(key_ev_down, 117, 0);
  keys.handle_key_raw(&esc);
  keys.handle_key_raw(&del);
  EXPECT_EQ(escape_hit * 10 + delete_hit, 11);
  EXPECT_EQ(g_closed, 0);  // no framework window is open
}

TEST_F(Keys, SaveDialogBlocksCommandsButNotFocusOrFlags) {
  keys.bindings = {{81, 4, 1, 0}};  // control-Q quits
  app_done = 0;
  mnw.window_type = 999;
  const key_event_record ctl_q = ev(key_ev_down, 12, key_mod_control, 17, 'q', 'Q');
  keys.handle_key_raw(&ctl_q);
  EXPECT_EQ(app_done.load(), 0);
  EXPECT_EQ(g_offered.size(), 1u);
  EXPECT_EQ(keys.last_key, 81);
  const key_event_record del = ev(key_ev_down, 51, 0);
  keys.handle_key_raw(&del);
  EXPECT_EQ(delete_hit, 1);

  g_take_all = 1;  // a focused widget takes the key: nothing else happens
  mnw.window_type = 0;
  keys.handle_key_raw(&ctl_q);
  EXPECT_EQ(app_done.load(), 0);
  g_take_all = 0;
  keys.handle_key_raw(&ctl_q);
  EXPECT_EQ(app_done.load(), 1);
}

TEST_F(Keys, ReturnClosesAnOpenWindowAndStops) {
  keys.bindings = {{13, 0, 1, 0}};
  app_done = 0;
  mnw.window_type = 993;
  const key_event_record ret = ev(key_ev_down, 36, 0);
  keys.handle_key_raw(&ret);
  EXPECT_EQ(g_closed, 1);
  EXPECT_EQ(app_done.load(), 0);
  EXPECT_EQ(keys.last_key, 0);  // stopped before the binding stage
}

TEST(Keymap, ScancodesReachTheIntendedKeys) {
  const struct { int scancode, vkey; } cases[] = {
      {SDL_SCANCODE_RETURN, 13}, {SDL_SCANCODE_TAB, 9}, {SDL_SCANCODE_SPACE, 32},
      {SDL_SCANCODE_BACKSPACE, 8}, {SDL_SCANCODE_ESCAPE, 27}, {SDL_SCANCODE_KP_ENTER, 188},
      {SDL_SCANCODE_KP_0, 96}, {SDL_SCANCODE_KP_9, 105}, {SDL_SCANCODE_KP_PERIOD, 110},
      {SDL_SCANCODE_KP_EQUALS, 189}, {SDL_SCANCODE_F1, 112}, {SDL_SCANCODE_F12, 123},
      {SDL_SCANCODE_F13, 124}, {SDL_SCANCODE_F20, 131}, {SDL_SCANCODE_INSERT, 47},
      {SDL_SCANCODE_HOME, 36}, {SDL_SCANCODE_PAGEUP, 33}, {SDL_SCANCODE_DELETE, 46},
      {SDL_SCANCODE_END, 35}, {SDL_SCANCODE_PAGEDOWN, 34}, {SDL_SCANCODE_LEFT, 37},
      {SDL_SCANCODE_RIGHT, 39}, {SDL_SCANCODE_DOWN, 40}, {SDL_SCANCODE_UP, 38},
      {SDL_SCANCODE_1, 49}, {SDL_SCANCODE_0, 48},
  };
  for (const auto& c : cases)
    EXPECT_EQ(keys.vkey_of(LIN_scancode_to_keycode(c.scancode), 0, 0), c.vkey) << c.scancode;
  // Letters and punctuation are named by what they type in the layout.
  EXPECT_EQ(LIN_scancode_to_keycode(SDL_SCANCODE_A), 0);
  EXPECT_EQ(LIN_scancode_to_keycode(SDL_SCANCODE_Q), 12);
  EXPECT_EQ(keys.vkey_of(LIN_scancode_to_keycode(SDL_SCANCODE_Q), 'a', 'A'), 65);  // AZERTY
  EXPECT_EQ(LIN_scancode_to_keycode(SDL_SCANCODE_SLASH), 44);
  for (int s : std::initializer_list<int>{SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RCTRL, SDL_SCANCODE_LALT, SDL_SCANCODE_RGUI,
                SDL_SCANCODE_CAPSLOCK, SDL_SCANCODE_UNKNOWN, -5, 9999})
    EXPECT_EQ(LIN_scancode_to_keycode(s), -1) << s;

  // Every mapped position has a code of its own (bar the two backslash keys).
  std::set<int> codes;
  int mapped = 0;
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
    if (const int k = LIN_scancode_to_keycode(s); k >= 0) ++mapped, codes.insert(k);
  EXPECT_EQ(mapped, static_cast<int>(codes.size()) + 1);

  EXPECT_EQ(LIN_keysym_char('a'), 'a');
  EXPECT_EQ(LIN_keysym_char(0x40000000 | 58), 0);
  EXPECT_EQ(LIN_typed_char("\xF0\x9F\x98\x80", 'a', 0), 0x1F600);
  EXPECT_EQ(LIN_typed_char("", 'c', 1), 3);
  EXPECT_EQ(LIN_typed_char(nullptr, '1', 1), 0);
  EXPECT_EQ(LIN_typed_char("\xED\xA0\x80", 'a', 0), 0);  // a lone surrogate is no character
  int n = 0;
  EXPECT_EQ(LIN_utf8_first("\xC3\xA9x", &n) * 10 + n, 0xE9 * 10 + 2);
  EXPECT_EQ(LIN_utf8_first("\xC0\xAF", &n) + n, 0);  // overlong
}

TEST(KeysWind, AddSelectTakeKeyAndDelete) {
  keys_wind_state st;
  keys.bindings.clear();
  for (int i = 0; i < 34; ++i) keys_wind_add(st);
  EXPECT_EQ(st.k_cen, 0);
  keys_wind_add(st);
  EXPECT_EQ(st.k_cen, 1);  // scrolled to the end
  EXPECT_EQ(keys_wind_row_label(keys.bindings[0]), "-<NONE>");

  keys.bindings[3] = {81, 4, 1, 0};
  keys_wind_click_row(st, 5);
  keys.last_key = 81, keys.last_modifiers = 4;
  keys_wind_take_key(st);
  EXPECT_EQ(keys.bindings[5].vkey * 10 + keys.bindings[5].flags, 814);
  EXPECT_EQ(keys.bindings[3].vkey * 10 + keys.bindings[3].flags, 0);  // one key, one binding
  EXPECT_EQ(keys_wind_row_label(keys.bindings[5]), "-CTRL Q");
  EXPECT_EQ(keys_wind_row_command({0, 0, 1, 0}), "operation/quit");
  EXPECT_EQ(keys_wind_row_command({0, 0, 99, 0}), "");

  keys_wind_click_row(st, 5);
  EXPECT_EQ(st.key_edit, -1);
  keys_wind_take_key(st);  // nothing selected: nothing changes
  keys_wind_delete(st);
  EXPECT_EQ(keys.bindings.size(), 35u);
  keys_wind_click_row(st, 99);
  EXPECT_EQ(st.key_edit, -1);
  keys_wind_click_row(st, 34);
  keys_wind_delete(st);
  EXPECT_EQ(keys.bindings.size(), 34u);
  EXPECT_EQ(st.key_edit * 10 + st.k_cen, -10);
}

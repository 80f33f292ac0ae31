#include "GenH/keys.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "Files/paths.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "UTL/cmnd.h"

// The virtual keys of named keys, ascending.
const key_name_row kKeyNameTable[kKeyNameCount + 1] = {
    {8, "ZKLM_VK_BACK", "Backspace"},
    {9, "ZKLM_VK_TAB", "Tab"},
    {12, "ZKLM_VK_CLEAR", "Clear"},
    {13, "ZKLM_VK_RETURN", "Return"},
    {27, "ZKLM_VK_ESCAPE", "Escape"},
    {32, "ZKLM_VK_SPACE", "Space"},
    {33, "ZKLM_VK_PRIOR", "PageUp"},
    {34, "ZKLM_VK_NEXT", "PageDown"},
    {35, "ZKLM_VK_END", "End"},
    {36, "ZKLM_VK_HOME", "Home"},
    {37, "ZKLM_VK_LEFT", "Left"},
    {38, "ZKLM_VK_UP", "Up"},
    {39, "ZKLM_VK_RIGHT", "Right"},
    {40, "ZKLM_VK_DOWN", "Down"},
    {41, "ZKLM_VK_SELECT", "Select"},
    {42, "ZKLM_VK_PRINT", "Print"},
    {43, "ZKLM_VK_EXECUTE", "Execute"},
    {44, "ZKLM_VK_SNAPSHOT", "Snapshot"},
    {45, "ZKLM_VK_INSERT", "Insert"},
    {46, "ZKLM_VK_DELETE", "Delete"},
    {47, "ZKLM_VK_HELP", "Help"},
    {48, "ZKLM_VK_0", "0"},
    {49, "ZKLM_VK_1", "1"},
    {50, "ZKLM_VK_2", "2"},
    {51, "ZKLM_VK_3", "3"},
    {52, "ZKLM_VK_4", "4"},
    {53, "ZKLM_VK_5", "5"},
    {54, "ZKLM_VK_6", "6"},
    {55, "ZKLM_VK_7", "7"},
    {56, "ZKLM_VK_8", "8"},
    {57, "ZKLM_VK_9", "9"},
    {65, "ZKLM_VK_A", "A"},
    {66, "ZKLM_VK_B", "B"},
    {67, "ZKLM_VK_C", "C"},
    {68, "ZKLM_VK_D", "D"},
    {69, "ZKLM_VK_E", "E"},
    {70, "ZKLM_VK_F", "F"},
    {71, "ZKLM_VK_G", "G"},
    {72, "ZKLM_VK_H", "H"},
    {73, "ZKLM_VK_I", "I"},
    {74, "ZKLM_VK_J", "J"},
    {75, "ZKLM_VK_K", "K"},
    {76, "ZKLM_VK_L", "L"},
    {77, "ZKLM_VK_M", "M"},
    {78, "ZKLM_VK_N", "N"},
    {79, "ZKLM_VK_O", "O"},
    {80, "ZKLM_VK_P", "P"},
    {81, "ZKLM_VK_Q", "Q"},
    {82, "ZKLM_VK_R", "R"},
    {83, "ZKLM_VK_S", "S"},
    {84, "ZKLM_VK_T", "T"},
    {85, "ZKLM_VK_U", "U"},
    {86, "ZKLM_VK_V", "V"},
    {87, "ZKLM_VK_W", "W"},
    {88, "ZKLM_VK_X", "X"},
    {89, "ZKLM_VK_Y", "Y"},
    {90, "ZKLM_VK_Z", "Z"},
    {96, "ZKLM_VK_NUMPAD0", "Numpad-0"},
    {97, "ZKLM_VK_NUMPAD1", "Numpad-1"},
    {98, "ZKLM_VK_NUMPAD2", "Numpad-2"},
    {99, "ZKLM_VK_NUMPAD3", "Numpad-3"},
    {100, "ZKLM_VK_NUMPAD4", "Numpad-4"},
    {101, "ZKLM_VK_NUMPAD5", "Numpad-5"},
    {102, "ZKLM_VK_NUMPAD6", "Numpad-6"},
    {103, "ZKLM_VK_NUMPAD7", "Numpad-7"},
    {104, "ZKLM_VK_NUMPAD8", "Numpad-8"},
    {105, "ZKLM_VK_NUMPAD9", "Numpad-9"},
    {106, "ZKLM_VK_MULTIPLY", "Numpad-*"},
    {107, "ZKLM_VK_ADD", "Numpad-+"},
    {109, "ZKLM_VK_SUBTRACT", "Numpad--"},
    {110, "ZKLM_VK_DECIMAL", "Numpad-."},
    {111, "ZKLM_VK_DIVIDE", "Numpad-/"},
    {112, "ZKLM_VK_F1", "F1"},
    {113, "ZKLM_VK_F2", "F2"},
    {114, "ZKLM_VK_F3", "F3"},
    {115, "ZKLM_VK_F4", "F4"},
    {116, "ZKLM_VK_F5", "F5"},
    {117, "ZKLM_VK_F6", "F6"},
    {118, "ZKLM_VK_F7", "F7"},
    {119, "ZKLM_VK_F8", "F8"},
    {120, "ZKLM_VK_F9", "F9"},
    {121, "ZKLM_VK_F10", "F10"},
    {122, "ZKLM_VK_F11", "F11"},
    {123, "ZKLM_VK_F12", "F12"},
    {124, "ZKLM_VK_F13", "F13"},
    {125, "ZKLM_VK_F14", "F14"},
    {126, "ZKLM_VK_F15", "F15"},
    {127, "ZKLM_VK_F16", "F16"},
    {128, "ZKLM_VK_F17", "F17"},
    {129, "ZKLM_VK_F18", "F18"},
    {130, "ZKLM_VK_F19", "F19"},
    {131, "ZKLM_VK_F20", "F20"},
    {132, "ZKLM_VK_F21", "F21"},
    {133, "ZKLM_VK_F22", "F22"},
    {134, "ZKLM_VK_F23", "F23"},
    {135, "ZKLM_VK_F24", "F24"},
    {176, "ZKLM_VK_EQUAL", "="},
    {177, "ZKLM_VK_MINUS", "-"},
    {178, "ZKLM_VK_RBRACE", "]"},
    {179, "ZKLM_VK_LBRACE", "["},
    {180, "ZKLM_VK_QUOTE", "'"},
    {181, "ZKLM_VK_SEMICOLON", ";"},
    {182, "ZKLM_VK_BACKSLASH", "\\"},
    {183, "ZKLM_VK_COMMA", ","},
    {184, "ZKLM_VK_SLASH", "/"},
    {185, "ZKLM_VK_PERIOD", "."},
    {186, "ZKLM_VK_BACKQUOTE", "`"},
    {187, "ZKLM_VK_ENTER", "Enter"},
    {188, "ZKLM_VK_NUMPAD_ENT", "Numpad-Enter"},
    {189, "ZKLM_VK_NUMPAD_EQ", "Numpad-="},
    {0, nullptr, nullptr},
};

// Key codes whose meaning does not depend on the layout, first.
const key_pair kKeyTranslations[kKeyTranslationCount + 1] = {
    {18, 49}, {19, 50}, {20, 51}, {21, 52}, {23, 53}, {22, 54}, {26, 55}, {28, 56}, {25, 57},
    {29, 48},  // top-row digits
    {82, 96}, {83, 97}, {84, 98}, {85, 99}, {86, 100}, {87, 101}, {88, 102}, {89, 103},
    {91, 104}, {92, 105},  // keypad digits
    {65, 110}, {67, 106}, {69, 107}, {75, 111}, {78, 109}, {81, 189}, {71, 12}, {76, 188},
    {36, 13}, {48, 9}, {49, 32}, {51, 8}, {53, 27}, {117, 46},
    {114, 47}, {115, 36}, {116, 33}, {119, 35}, {121, 34},
    {123, 37}, {124, 39}, {125, 40}, {126, 38},
    {122, 112}, {120, 113}, {99, 114}, {118, 115}, {96, 116}, {97, 117}, {98, 118}, {100, 119},
    {101, 120}, {109, 121}, {103, 122}, {111, 123},  // F1 to F12
    {105, 124}, {107, 125}, {113, 126}, {106, 127}, {64, 128}, {79, 129}, {80, 130},
    {90, 131},  // F13 to F20
    {0, 0},
};

// Characters that name their key; the period comes first so that its key wins.
const key_pair kAsciiMappings[kAsciiMappingCount + 1] = {
    {'.', 185}, {' ', 32},
    {'a', 65}, {'b', 66}, {'c', 67}, {'d', 68}, {'e', 69}, {'f', 70}, {'g', 71}, {'h', 72},
    {'i', 73}, {'j', 74}, {'k', 75}, {'l', 76}, {'m', 77}, {'n', 78}, {'o', 79}, {'p', 80},
    {'q', 81}, {'r', 82}, {'s', 83}, {'t', 84}, {'u', 85}, {'v', 86}, {'w', 87}, {'x', 88},
    {'y', 89}, {'z', 90},
    {'=', 176}, {'-', 177}, {']', 178}, {'[', 179}, {'\'', 180}, {';', 181}, {'\\', 182},
    {',', 183}, {'/', 184}, {'.', 185}, {'`', 186},
    {'0', 48}, {'1', 49}, {'2', 50}, {'3', 51}, {'4', 52}, {'5', 53}, {'6', 54}, {'7', 55},
    {'8', 56}, {'9', 57},
    {0, 0},
};

// The US layout key (and whether shift is needed) of each character.
const key_char_row kCharTranslations[kCharTranslationCount + 1] = {
    {13, 13, 0}, {27, 27, 0}, {9, 9, 0}, {8, 8, 0},
    {28, 37, 0}, {29, 39, 0}, {30, 38, 0}, {31, 40, 0},
    {32, 32, 0}, {33, 49, 1}, {34, 180, 1}, {35, 51, 1}, {36, 52, 1}, {37, 53, 1}, {38, 55, 1}, {39, 180, 0},
    {40, 57, 1}, {41, 48, 1}, {42, 56, 1}, {43, 176, 1}, {44, 183, 0}, {45, 177, 0}, {46, 185, 0}, {47, 184, 0},
    {48, 48, 0}, {49, 49, 0}, {50, 50, 0}, {51, 51, 0}, {52, 52, 0}, {53, 53, 0}, {54, 54, 0}, {55, 55, 0},
    {56, 56, 0}, {57, 57, 0}, {58, 181, 1}, {59, 181, 0}, {60, 183, 1}, {61, 176, 0}, {62, 185, 1}, {63, 184, 1},
    {64, 50, 1}, {65, 65, 1}, {66, 66, 1}, {67, 67, 1}, {68, 68, 1}, {69, 69, 1}, {70, 70, 1}, {71, 71, 1},
    {72, 72, 1}, {73, 73, 1}, {74, 74, 1}, {75, 75, 1}, {76, 76, 1}, {77, 77, 1}, {78, 78, 1}, {79, 79, 1},
    {80, 80, 1}, {81, 81, 1}, {82, 82, 1}, {83, 83, 1}, {84, 84, 1}, {85, 85, 1}, {86, 86, 1}, {87, 87, 1},
    {88, 88, 1}, {89, 89, 1}, {90, 90, 1}, {91, 179, 0}, {92, 182, 0}, {93, 178, 0}, {94, 54, 1}, {95, 177, 1},
    {96, 186, 0}, {97, 65, 0}, {98, 66, 0}, {99, 67, 0}, {100, 68, 0}, {101, 69, 0}, {102, 70, 0}, {103, 71, 0},
    {104, 72, 0}, {105, 73, 0}, {106, 74, 0}, {107, 75, 0}, {108, 76, 0}, {109, 77, 0}, {110, 78, 0}, {111, 79, 0},
    {112, 80, 0}, {113, 81, 0}, {114, 82, 0}, {115, 83, 0}, {116, 84, 0}, {117, 85, 0}, {118, 86, 0}, {119, 87, 0},
    {120, 88, 0}, {121, 89, 0}, {122, 90, 0}, {123, 179, 1}, {124, 182, 1}, {125, 178, 1}, {126, 186, 1},
    {0, 0, 0},
};

keys_hooks_class keys_hooks = {nullptr, nullptr};
keys_class keys;

namespace {
// The default bindings of the command registry's built-in commands: no key.
struct default_key {
  const char* command;
  int vkey, flags;
};
const default_key k_default_keys[] = {{"sim/none/none", 0, 0}, {"sim/operation/quit", 0, 0}};

const key_name_row* named(int vkey) {
  for (const key_name_row* r = kKeyNameTable; r->code_name; ++r)
    if ((r->vkey & 0xff) == vkey) return r;
  return nullptr;
}

bool same_ignoring_case(const char* a, const std::string& b) {
  const size_t n = strlen(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

keys_class::keys_class() : last_key(0), last_modifiers(0), highest_vkey(0) {
  bool is_named[256] = {};
  for (const key_name_row* r = kKeyNameTable; r->code_name; ++r) {
    const int v = r->vkey & 0xff;
    is_named[v] = true;
    if (v > highest_vkey) highest_vkey = v;
  }
  for (int v = 1; v <= highest_vkey; ++v)
    if (!is_named[v]) free_vkeys.push_back(v);
}

int keys_class::vkey_of(int key_code, int lower, int upper) const {
  for (const key_pair* p = kKeyTranslations; p->a || p->b; ++p)
    if (p->a == key_code) return p->b;
  for (const key_pair* p = kAsciiMappings; p->a; ++p)
    if (p->a == lower || p->a == upper) return p->b;
  // Keys no table knows still get a number of their own, one per key code.
  if (key_code < 0) return 0;
  const int n = static_cast<int>(free_vkeys.size());
  if (key_code < n) return free_vkeys[static_cast<size_t>(key_code)];
  return 190 + (key_code - n);
}

void keys_class::handle_key_raw(const key_event_record* e) {
  static int last_vkey = 0, last_uni_code = 0, last_flags = 0;
  if (!e) return;

  int flags = 0;
  if (e->modifiers & key_mod_shift) flags |= key_flag_shift;
  if (e->modifiers & (key_mod_control | key_mod_cmd)) flags |= key_flag_control;
  if (e->modifiers & key_mod_option) flags |= key_flag_option;
  if (e->what == key_ev_down) flags |= key_flag_down;
  if (e->what == key_ev_up) flags |= key_flag_up;

  // The typed character is a whole code point: the input method has already
  // composed dead keys.
  int ch = e->ch;
  const int vkey = vkey_of(e->key_code, e->lower, e->upper);

  switch (vkey) {
    case 8: case 9: case 13: case 27: ch = vkey; break;
    case 37: ch = 28; break;
    case 39: ch = 29; break;
    case 38: ch = 30; break;
    case 40: ch = 31; break;
    case 110: ch = '.'; break;
    default:
      if (vkey >= 96 && vkey <= 105) ch = '0' + (vkey - 96);
  }

  // A key-up reports what its key-down typed.
  if (e->what == key_ev_down) {
    last_vkey = vkey;
    last_uni_code = ch;
    last_flags = flags & 7;
  } else if (e->what == key_ev_up && vkey == last_vkey && (flags & 7) == last_flags) {
    ch = last_uni_code;
  }

  if (vkey == 0 && flags == 0 && ch == 0) return;

  if (keys_hooks.dispatch_to_focus && keys_hooks.dispatch_to_focus(ch, vkey, flags)) return;

  if (e->what == key_ev_down || e->what == key_ev_auto) {
    if (vkey == 13 || vkey == 187) return_hit = 1;
    if (vkey == 27) escape_hit = 1;
    if (vkey == 46 || vkey == 8) delete_hit = 1;
    if (mnw.window_type > 0 && return_hit) {
      if (keys_hooks.close_window) keys_hooks.close_window();
      return;
    }
  }

  last_key = vkey;
  last_modifiers = flags & 7;
  if (mnw.window_type == 999) return;  // the save dialog runs no key commands
  if (vkey != 0) execute_key_cmnd(vkey, flags);
}

void keys_class::execute_key_cmnd(int vkey, int flags) {
  for (key_binding& b : bindings) {
    if (b.vkey != vkey) continue;
    if (b.flags == (flags & 7) && (flags & key_flag_down)) {
      cmnd.press_one(b.command);
      b.held = 1;
    }
    if (b.held && (flags & key_flag_up)) {
      cmnd.release_one(b.command);
      b.held = 0;
    }
  }
}

void keys_class::handle_key(int vkey, int flags) {
  if (vkey != 0) execute_key_cmnd(vkey, flags);
}

void keys_class::run_repeat_keys() {
  for (const key_binding& b : bindings)
    if (b.held) cmnd.press_always(b.command);
}

int keys_class::key_bound_to(int vkey, int flags) const {
  for (const key_binding& b : bindings)
    if (b.vkey == vkey && b.flags == flags) return b.command;
  return 0;
}

std::string keys_class::get_key_for_cmnd(int command) const {
  for (const key_binding& b : bindings) {
    if (b.command != command) continue;
    if (b.vkey == 0) return "";
    std::string name = vkey_to_str(b.vkey);
    if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z') name[0] = static_cast<char>(name[0] + 32);
    if (b.flags & 7) return flag_to_str(b.flags) + "-" + name;
    return name;
  }
  return "";
}

std::string keys_class::vkey_to_str(int vkey) const {
  if (vkey == 0) return "<NONE>";
  if (const key_name_row* r = named(vkey)) return r->display_name;
  return "KEY" + std::to_string(vkey);
}

std::string keys_class::vkey_to_code(int vkey) const {
  if (const key_name_row* r = named(vkey)) return r->code_name;
  return std::to_string(vkey);
}

int keys_class::str_to_vkey(const std::string& name) const {
  for (const key_name_row* r = kKeyNameTable; r->code_name; ++r)
    if (same_ignoring_case(r->display_name, name)) return r->vkey;
  if (name.size() > 3 && name.compare(0, 3, "KEY") == 0) {
    long long v = 0;
    for (size_t i = 3; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return 0;
      v = v * 10 + (name[i] - '0');
      if (v > INT_MAX) return 0;
    }
    return static_cast<int>(v);
  }
  return 0;
}

std::string keys_class::flag_to_str(int flags) const {
  std::string s;
  const char* names[] = {"SHIFT", "ALT", "CTRL"};
  for (int i = 0; i < 3; ++i)
    if (flags & (1 << i)) s += (s.empty() ? "" : "+") + std::string(names[i]);
  return s.empty() ? "<none>" : s;
}

std::string keys_class::flag_to_code(int flags) const {
  std::string s;
  const char* names[] = {"zklm_ShiftFlag", "zklm_OptionAltFlag", "zklm_ControlFlag"};
  for (int i = 0; i < 3; ++i)
    if (flags & (1 << i)) s += (s.empty() ? "" : "+") + std::string(names[i]);
  return s.empty() ? "0" : s;
}

int keys_class::str_to_flag(const std::string& text) const {
  int f = 0;
  if (text.find("SHIFT") != std::string::npos) f |= 1;
  if (text.find("ALT") != std::string::npos) f |= 2;
  if (text.find("CTRL") != std::string::npos) f |= 4;
  return f;
}

int keys_class::ascii_to_vkey(int ch, int& vkey, int& flags) const {
  for (const key_char_row* r = kCharTranslations; r->ch; ++r)
    if (r->ch == ch) {
      vkey = r->vkey;
      flags = r->flags;
      return 1;
    }
  vkey = flags = 0;
  return 0;
}

void keys_class::keys_io(int mode) {
  if (mode != 0) return;  // the table is never stored
  bindings.clear();
  for (const default_key& d : k_default_keys)
    bindings.push_back({d.vkey, d.flags, cmnd.get_cmnd_by_name(d.command), 0});
  std::erase_if(bindings, [](const key_binding& b) { return b.vkey == 0; });
}

int script_to_utf32(int ch) {
  if (ch < 0 || ch > 255) return 0;
  if (ch < 128) return ch;
  std::string u;
  mac_roman_to_utf8(static_cast<unsigned char>(ch), u);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(u.data());
  if (u.size() == 2) return ((s[0] & 0x1f) << 6) | (s[1] & 0x3f);
  if (u.size() == 3) return ((s[0] & 0x0f) << 12) | ((s[1] & 0x3f) << 6) | (s[2] & 0x3f);
  return 0;
}

keys_wind_state keys_wind_st;

void keys_wind_add(keys_wind_state& st) {
  keys.bindings.push_back({0, 0, cmnd.get_cmnd_by_name("sim/operation/none"), 0});
  const int n = static_cast<int>(keys.bindings.size());
  if (n > keys_wind_rows) st.k_cen = n - keys_wind_rows;
}

void keys_wind_delete(keys_wind_state& st) {
  const int n = static_cast<int>(keys.bindings.size());
  if (st.key_edit < 0 || st.key_edit >= n) return;
  keys.bindings.erase(keys.bindings.begin() + st.key_edit);
  st.key_edit = -1;
  const int top = std::max(0, n - 1 - keys_wind_rows);
  if (st.k_cen > top) st.k_cen = top;
}

void keys_wind_click_row(keys_wind_state& st, int row) {
  if (row < 0 || row >= static_cast<int>(keys.bindings.size())) return;
  st.key_edit = (st.key_edit == row) ? -1 : row;
}

void keys_wind_take_key(keys_wind_state& st) {
  const int n = static_cast<int>(keys.bindings.size());
  if (st.key_edit < 0 || st.key_edit >= n) return;
  key_binding& sel = keys.bindings[static_cast<size_t>(st.key_edit)];
  sel.vkey = keys.last_key;
  sel.flags = keys.last_modifiers;
  for (int i = 0; i < n; ++i) {
    key_binding& b = keys.bindings[static_cast<size_t>(i)];
    if (i != st.key_edit && b.vkey == sel.vkey && b.flags == sel.flags) b.vkey = b.flags = 0;
  }
}

std::string keys_wind_row_label(const key_binding& b) {
  std::string s = "-";
  if (b.flags & 7) s += keys.flag_to_str(b.flags) + " ";
  return s + keys.vkey_to_str(b.vkey);
}

std::string keys_wind_row_command(const key_binding& b) {
  if (b.command < 0 || b.command >= cmnd.count()) return "";
  const std::string& p = cmnd.path(b.command);
  return p.size() > 4 ? p.substr(4) : "";
}

// The keyboard layer: layout-independent virtual keys, modifier flags and the
// typed character of every key event, the key-binding table over the command
// registry, and the names of keys and modifiers.
#pragma once

#include <string>
#include <vector>

// Key flags. Bindings and names use only the modifier bits (flags & 7).
enum {
  key_flag_shift = 1,
  key_flag_option = 2,
  key_flag_control = 4,  // control or command
  key_flag_down = 8,
  key_flag_up = 16,
};

// Event kinds and modifier bits of a key event record, as the window layer
// fills it.
enum { key_ev_down = 3, key_ev_up = 4, key_ev_auto = 5 };
enum {
  key_mod_cmd = 0x0100,
  key_mod_shift = 0x0200,
  key_mod_caps = 0x0400,
  key_mod_option = 0x0800,
  key_mod_control = 0x1000,
};

// One key event. key_code is the key's position code (LIN_scancode_to_keycode);
// ch the code point it typed (0 none); lower and upper what the key types in
// the user's layout without modifiers and with shift (0 when unknown).
struct key_event_record {
  int what;
  int key_code;
  int modifiers;
  int ch;
  int lower;
  int upper;
};

struct key_name_row {
  int vkey;
  const char* code_name;
  const char* display_name;
};
struct key_pair {
  int a, b;
};
struct key_char_row {
  int ch, vkey, flags;
};

// The tables (each ended by a zero row): the named virtual keys, the key codes
// of layout-independent keys, the characters that name keys, and the US
// layout key of every character.
enum { kKeyNameCount = 110, kKeyTranslationCount = 63, kAsciiMappingCount = 49,
       kCharTranslationCount = 103 };
extern const key_name_row kKeyNameTable[kKeyNameCount + 1];
extern const key_pair kKeyTranslations[kKeyTranslationCount + 1];
extern const key_pair kAsciiMappings[kAsciiMappingCount + 1];
extern const key_char_row kCharTranslations[kCharTranslationCount + 1];

struct key_binding {
  int vkey;
  int flags;
  int command;
  int held;
};

class keys_class {
 public:
  keys_class();

  void handle_key_raw(const key_event_record* event);
  void execute_key_cmnd(int vkey, int flags);
  void handle_key(int vkey, int flags);
  void run_repeat_keys();
  int key_bound_to(int vkey, int flags) const;
  std::string get_key_for_cmnd(int command) const;
  std::string vkey_to_str(int vkey) const;
  std::string vkey_to_code(int vkey) const;
  int str_to_vkey(const std::string& name) const;
  std::string flag_to_str(int flags) const;
  std::string flag_to_code(int flags) const;
  int str_to_flag(const std::string& text) const;
  int ascii_to_vkey(int ch, int& vkey, int& flags) const;
  void keys_io(int mode);
  void debug() {}
  // One frame of the key-binding editor panel in the current logical window.
  void keys_wind(int compact);

  // The virtual key a key code stands for, given what the key types without
  // and with shift.
  int vkey_of(int key_code, int lower, int upper) const;

  int last_key;
  int last_modifiers;
  std::vector<key_binding> bindings;
  std::vector<int> free_vkeys;
  int highest_vkey;
};

extern keys_class keys;

// What the key-binding panel does, apart from drawing it: the selected row
// (-1 none) and the first row shown, 34 rows at a time.
struct keys_wind_state {
  int key_edit = -1;
  int k_cen = 0;
};
enum { keys_wind_rows = 34 };
extern keys_wind_state keys_wind_st;
// "Add New Key Assignment": a binding without a key; the list scrolls to its end.
void keys_wind_add(keys_wind_state& st);
// "Delete Selected Key Assignment".
void keys_wind_delete(keys_wind_state& st);
// A click on a row selects it, a click on the selected row deselects it.
void keys_wind_click_row(keys_wind_state& st, int row);
// A key went down with a row selected: that binding takes the last key and
// modifiers, and any other binding of the same keys loses them.
void keys_wind_take_key(keys_wind_state& st);
// A row's button label and its command text.
std::string keys_wind_row_label(const key_binding& b);
std::string keys_wind_row_command(const key_binding& b);

// The code point of one byte of the system's single-byte script (Mac Roman
// above 127).
int script_to_utf32(int ch);

// Frame flags the keyboard layer sets; the frame clears them.
extern int escape_hit, delete_hit;

// What the keyboard layer hands on to its neighbours. The focus ring offers
// the key to the focused widget (1: taken); close_window is the frame's
// forced close of an open framework window on Return. Until they are filled
// no widget takes keys and no window closes.
struct keys_hooks_class {
  int (*dispatch_to_focus)(int ch, int vkey, int flags);
  void (*close_window)();
};
extern keys_hooks_class keys_hooks;

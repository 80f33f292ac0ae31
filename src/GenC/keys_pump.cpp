#include "GenH/keys_pump.h"

#include "GenH/butn.h"
#include "GenH/window.h"
#include "Linux/lin_keymap.h"

namespace {
bool g_held = false;
LIN_event_record g_held_event;

void deliver(const key_event_record& r) { keys.handle_key_raw(&r); }

// Text that no key-down claims (an input method's commit): one key-down per
// code point, with no key behind it.
void deliver_text(const char* s) {
  while (s && *s) {
    int n = 0;
    const int cp = LIN_utf8_first(s, &n);
    if (n == 0) {  // malformed: skip the byte
      ++s;
      continue;
    }
    s += n;
    key_event_record r{key_ev_down, -1, LIN_modifier_keys(), cp, 0, 0};
    deliver(r);
  }
}

void close_open_window() { MACIBM_handleclick(1); }
}  // namespace

key_event_record KEYS_record_of(const LIN_event_record& e, const char* text) {
  const int scancode = static_cast<int>(e.message >> 8);
  const int sym = LIN_scancode_keysym(scancode);
  key_event_record r;
  r.what = e.what;
  r.key_code = LIN_scancode_to_keycode(scancode);
  r.modifiers = e.modifiers;
  r.lower = LIN_keysym_char(sym);
  r.upper = (r.lower >= 'a' && r.lower <= 'z') ? r.lower - 32 : r.lower;
  r.ch = 0;
  if (e.what != key_ev_up)
    r.ch = LIN_typed_char(text, sym, (e.modifiers & (lin_mod_control | lin_mod_cmd)) ? 1 : 0);
  return r;
}

void KEYS_flush() {
  if (!g_held) return;
  g_held = false;
  deliver(KEYS_record_of(g_held_event, nullptr));
}

void KEYS_key_event(const LIN_event_record& e) {
  KEYS_flush();
  const int scancode = static_cast<int>(e.message >> 8);
  if (LIN_scancode_to_keycode(scancode) < 0) return;  // modifier-only keys
  if (e.what == lin_key_down || e.what == lin_auto_key) {
    g_held = true;
    g_held_event = e;
    return;
  }
  deliver(KEYS_record_of(e, nullptr));
}

void KEYS_text_event(const char* utf8) {
  if (!g_held) {
    deliver_text(utf8);
    return;
  }
  g_held = false;
  int n = 0;
  LIN_utf8_first(utf8, &n);
  deliver(KEYS_record_of(g_held_event, utf8));
  if (n > 0) deliver_text(utf8 + n);  // the rest of a longer composition
}

void KEYS_run_repeat_keys() {
  KEYS_flush();
  keys.run_repeat_keys();
}

void KEYS_install_hooks() {
  shell_hooks.key_raw = KEYS_key_event;
  shell_hooks.text_input = KEYS_text_event;
  shell_hooks.key_flush = KEYS_flush;
  shell_hooks.run_repeat_keys = KEYS_run_repeat_keys;
  keys_hooks.dispatch_to_focus = BTN_dispatch_to_focus;
  keys_hooks.close_window = close_open_window;
}

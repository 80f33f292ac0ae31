// The keyboard's position codes: SDL scancodes (positions on the keyboard,
// whatever the layout) as the key-code byte the keyboard layer's tables use,
// and the character a key event types.
#pragma once

// The key code of a scancode; -1 for modifier-only keys and keys the tables
// have no code for (such keys give no key event).
int LIN_scancode_to_keycode(int sdl_scancode);

// What a key types in the user's layout without modifiers, from its SDL key
// symbol: the code point for character keys, else 0.
int LIN_keysym_char(int sdl_keysym);

// The character of a key-down: the first code point of the text input that
// came with it; with Control held and no text, a letter key's control code
// (letter & 0x1F); else 0.
int LIN_typed_char(const char* utf8_text, int sdl_keysym, int control_held);

// The first code point of a UTF-8 text and the bytes it takes; 0 (and 0
// bytes) for an empty text or a malformed sequence.
int LIN_utf8_first(const char* s, int* bytes);

// The key symbol the user's layout puts on a scancode (0 before the video
// layer is up).
int LIN_scancode_keysym(int sdl_scancode);

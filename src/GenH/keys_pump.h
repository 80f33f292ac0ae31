// The window layer's key and text events into the keyboard layer: a key-down
// is held until the text input that SDL sends after it (or any other event,
// or the end of the pump) so the key and the character it typed arrive as
// one key event, none lost and none twice.
#pragma once

#include "GenH/keys.h"
#include "Linux/lin_window.h"

// The keyboard layer's record of a window-layer key event; text is the input
// that came with a key-down (null when none).
key_event_record KEYS_record_of(const LIN_event_record& e, const char* text);

void KEYS_key_event(const LIN_event_record& e);  // down, up and auto-key
void KEYS_text_event(const char* utf8);
void KEYS_flush();  // hands on a held key-down without text
void KEYS_run_repeat_keys();

// Puts the above into shell_hooks and points keys_hooks at the focus ring and
// the frame's close of a framework window.
void KEYS_install_hooks();

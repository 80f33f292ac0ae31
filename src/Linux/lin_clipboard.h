// The system clipboard, plain text bytes only, over SDL's clipboard. The
// video subsystem is started on first use when the window has not done it.
#pragma once

#include <string>

// 1 when the video subsystem (and with it the clipboard) is available.
int LIN_clipboard_open();
// 1 when the clipboard holds text.
int LIN_clipboard_has_text();
// Replaces the clipboard's text; silently does nothing without a clipboard.
void LIN_clipboard_set(const std::string& text);
// 1 and text = the clipboard's text when it holds any; else 0, text untouched.
int LIN_clipboard_get(std::string& text);

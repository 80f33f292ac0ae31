#include "Linux/lin_clipboard.h"

#include <SDL.h>

int LIN_clipboard_open() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return 1;
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 ? 1 : 0;
}

int LIN_clipboard_has_text() {
  if (!LIN_clipboard_open()) return 0;
  return SDL_HasClipboardText() ? 1 : 0;
}

void LIN_clipboard_set(const std::string& text) {
  if (!LIN_clipboard_open()) return;
  SDL_SetClipboardText(text.c_str());
}

int LIN_clipboard_get(std::string& text) {
  if (!LIN_clipboard_open() || !SDL_HasClipboardText()) return 0;
  char* got = SDL_GetClipboardText();
  if (!got) return 0;
  const int ok = *got ? 1 : 0;  // SDL answers "" for an empty clipboard
  if (ok) text = got;
  SDL_free(got);
  return ok;
}

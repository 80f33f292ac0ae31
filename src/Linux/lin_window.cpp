#include "Linux/lin_window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "Linux/lin_zenity.h"

namespace {
SDL_Window* g_window = nullptr;
SDL_GLContext g_context = nullptr;
int g_video_up = 0;
int g_override_w = 0, g_override_h = 0;
int g_mouse_h = 0, g_mouse_v = 0;
int g_mods = 0;
int g_cursor_shown = 1;
int g_borderless = 0;
std::atomic<int> g_hangup{0};  // lock-free: safe in a signal handler

void on_hangup(int) { g_hangup = 1; }

// SDL turns SIGINT and SIGTERM into a quit event; the terminal closing
// (SIGHUP) is one too. Left alone when the starter chose to ignore it.
void catch_hangup() {
  struct sigaction old = {};
  if (sigaction(SIGHUP, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) return;
  struct sigaction sa = {};
  sa.sa_handler = on_hangup;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGHUP, &sa, nullptr);
}

// A hangup not yet reported, taken once.
bool take_hangup() { return g_hangup.load(std::memory_order_relaxed) && g_hangup.exchange(0); }

void (*g_on_display_lost)() = nullptr;
std::atomic<int> g_display_lost{0};

// Xlib's answer to a connection that broke (the server ended, or killed the
// window as xkill does), inside whatever X call met it; Xlib ends the process
// when this returns. Only the main thread talks to the server. Should the
// close-down meet the broken connection again, the process ends at once.
int display_lost(Display*) {
  if (!g_display_lost.exchange(1)) {
    LIN_end_running_dialog();
    if (g_on_display_lost) g_on_display_lost();
  }
  _exit(1);
}

int video_up() {
  if (g_video_up) return 1;
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
  // SDL sets no handler of its own: Xlib's default would exit at once,
  // leaving the work running and the temporary folder full.
  XSetIOErrorHandler(display_lost);
  catch_hangup();
  g_video_up = 1;
  return 1;
}

int mods_of(Uint16 m) {
  int r = 0;
  if (m & KMOD_SHIFT) r |= lin_mod_shift;
  if (m & KMOD_CTRL) r |= lin_mod_control;
  if (m & KMOD_ALT) r |= lin_mod_option;
  if (m & KMOD_GUI) r |= lin_mod_cmd;
  if (m & KMOD_CAPS) r |= lin_mod_caps;
  return r;
}

Uint16 sdl_mods_of(int m) {
  Uint16 r = 0;
  if (m & lin_mod_shift) r |= KMOD_LSHIFT;
  if (m & lin_mod_control) r |= KMOD_LCTRL;
  if (m & lin_mod_option) r |= KMOD_LALT;
  if (m & lin_mod_cmd) r |= KMOD_LGUI;
  if (m & lin_mod_caps) r |= KMOD_CAPS;
  return r;
}

// The character a key stands for in the classic key record: ASCII for the
// printable and control keys, the classic arrow codes 28..31, else 0.
uint32_t char_code_of(SDL_Keycode sym, int mods) {
  switch (sym) {
    case SDLK_LEFT: return 28;
    case SDLK_RIGHT: return 29;
    case SDLK_UP: return 30;
    case SDLK_DOWN: return 31;
    case SDLK_KP_ENTER: return 3;
    case SDLK_HOME: return 1;
    case SDLK_END: return 4;
    case SDLK_PAGEUP: return 11;
    case SDLK_PAGEDOWN: return 12;
    default: break;
  }
  if (sym < 0 || sym > 127) return 0;
  uint32_t c = static_cast<uint32_t>(sym);
  if ((mods & (lin_mod_shift | lin_mod_caps)) && c >= 'a' && c <= 'z') c -= 32;
  return c;
}

void clear(LIN_event_record* e) {
  memset(e, 0, sizeof(*e));
  e->h = g_mouse_h;
  e->v = g_mouse_v;
  e->modifiers = g_mods;
}

// One SDL event into the record; 0 when it means nothing to the shell.
int translate(const SDL_Event& ev, LIN_event_record* e) {
  clear(e);
  switch (ev.type) {
    case SDL_QUIT:
      e->what = lin_close;
      return 1;
    case SDL_WINDOWEVENT:
      switch (ev.window.event) {
        case SDL_WINDOWEVENT_SHOWN:
          e->what = lin_update;
          return 1;
        case SDL_WINDOWEVENT_EXPOSED:
          e->what = lin_expose;
          return 1;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          e->what = lin_activate;
          e->modifiers |= lin_mod_active;
          return 1;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          e->what = lin_activate;
          e->modifiers &= ~lin_mod_active;
          return 1;
        case SDL_WINDOWEVENT_CLOSE:
          e->what = lin_close;
          return 1;
        default:
          return 0;
      }
    case SDL_MOUSEMOTION:
      g_mouse_h = e->h = ev.motion.x;
      g_mouse_v = e->v = ev.motion.y;
      e->what = lin_motion;
      return 1;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      g_mouse_h = e->h = ev.button.x;
      g_mouse_v = e->v = ev.button.y;
      e->what = ev.type == SDL_MOUSEBUTTONDOWN ? lin_mouse_down : lin_mouse_up;
      e->button = ev.button.button == SDL_BUTTON_RIGHT    ? 2
                  : ev.button.button == SDL_BUTTON_MIDDLE ? 3
                                                          : 1;
      return 1;
    case SDL_MOUSEWHEEL: {
      float y = ev.wheel.preciseY;
      if (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
      if (y == std::floor(y)) {
        e->what = lin_wheel;
        e->delta = static_cast<int>(y);
      } else {
        e->what = lin_scroll;
        e->delta = static_cast<int>(std::lround(y * 4.0f));
      }
      return e->delta != 0;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      g_mods = e->modifiers = mods_of(ev.key.keysym.mod);
      e->what = ev.type == SDL_KEYUP ? lin_key_up : (ev.key.repeat ? lin_auto_key : lin_key_down);
      e->message = char_code_of(ev.key.keysym.sym, g_mods) |
                   (static_cast<uint32_t>(ev.key.keysym.scancode) << 8);
      return 1;
    case SDL_TEXTINPUT:
      e->what = lin_text;
      snprintf(e->text, sizeof(e->text), "%s", ev.text.text);
      return 1;
    default:
      return 0;
  }
}

Uint32 window_id() { return g_window ? SDL_GetWindowID(g_window) : 0; }
}  // namespace

void LIN_screen_info(int* width, int* height, int* depth) {
  int w = 0, h = 0, d = 24;
  if (video_up()) {
    SDL_DisplayMode m;
    if (SDL_GetDesktopDisplayMode(0, &m) == 0) {
      w = m.w;
      h = m.h;
      d = SDL_BITSPERPIXEL(m.format);
      if (d == 24) d = 32;  // 24 colour bits in 32-bit pixels
    }
  }
  if (g_override_w > 0 && g_override_h > 0) {
    w = g_override_w;
    h = g_override_h;
  }
  if (width) *width = w;
  if (height) *height = h;
  if (depth) *depth = d;
}

void LIN_set_screen_override(int width, int height) {
  g_override_w = width;
  g_override_h = height;
}

int LIN_window_open(int x, int y, int width, int height, int borderless, int samples,
                    const char** error) {
  static const char* last_error = "";
  if (error) *error = "";
  if (g_window) return 1;
  if (!video_up()) {
    last_error = SDL_GetError();
    if (error) *error = last_error;
    return 0;
  }
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
  if (borderless) flags |= SDL_WINDOW_BORDERLESS;
  for (int depth : {32, 24, 16}) {
    SDL_GL_ResetAttributes();  // no version or profile request: a legacy context
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
    g_window = SDL_CreateWindow("Flyvane Installer", x, y, width, height, flags);
    if (!g_window) continue;
    g_context = SDL_GL_CreateContext(g_window);
    if (g_context && SDL_GL_MakeCurrent(g_window, g_context) == 0) break;
    last_error = SDL_GetError();
    if (g_context) SDL_GL_DeleteContext(g_context);
    g_context = nullptr;
    SDL_DestroyWindow(g_window);
    g_window = nullptr;
  }
  if (!g_window) {
    last_error = SDL_GetError();
    if (error) *error = last_error;
    return 0;
  }
  g_borderless = borderless;
  SDL_SetWindowPosition(g_window, x, y);
  SDL_StartTextInput();
  return 1;
}

void LIN_on_display_lost(void (*close_down)()) { g_on_display_lost = close_down; }

int LIN_display_lost() { return g_display_lost.load(); }

void LIN_window_close() {
  if (g_display_lost) {  // nothing of them is left to undo, and no one to ask
    g_context = nullptr;
    g_window = nullptr;
    return;
  }
  if (g_context) SDL_GL_DeleteContext(g_context);
  if (g_window) SDL_DestroyWindow(g_window);
  g_context = nullptr;
  g_window = nullptr;
}

int LIN_window_is_open() { return g_window != nullptr; }

void LIN_window_position(int* x, int* y) {
  int a = 0, b = 0;
  if (g_window) SDL_GetWindowPosition(g_window, &a, &b);
  if (x) *x = a;
  if (y) *y = b;
}

void LIN_window_size(int* width, int* height) {
  int a = 0, b = 0;
  if (g_window) SDL_GL_GetDrawableSize(g_window, &a, &b);
  if (width) *width = a;
  if (height) *height = b;
}

int LIN_window_borderless() {
  if (!g_window) return 0;
  return (SDL_GetWindowFlags(g_window) & SDL_WINDOW_BORDERLESS) || g_borderless ? 1 : 0;
}

void LIN_window_title(const char* title) {
  if (g_window) SDL_SetWindowTitle(g_window, title);
}

void LIN_pixel_format_of(LIN_pixel_format* out) {
  memset(out, 0, sizeof(*out));
  out->rgba = 1;
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &out->double_buffer);
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &out->red);
  SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &out->green);
  SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &out->blue);
  SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &out->alpha);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &out->depth);
  if (SDL_GL_GetAttribute(SDL_GL_ACCELERATED_VISUAL, &out->accelerated) != 0) out->accelerated = 1;
}

void* LIN_context_create_shared() {
  if (!g_window || !g_context) return nullptr;
  SDL_GL_MakeCurrent(g_window, g_context);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
  SDL_GLContext c = SDL_GL_CreateContext(g_window);
  // Creating a context makes it current: the main thread keeps its own.
  SDL_GL_MakeCurrent(g_window, g_context);
  return c;
}

int LIN_context_make_current(void* ctx) {
  if (!ctx || !g_window) return 0;
  return SDL_GL_MakeCurrent(g_window, static_cast<SDL_GLContext>(ctx)) == 0 ? 1 : 0;
}

void LIN_context_destroy(void* ctx) {
  if (ctx) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(ctx));
}

void LIN_swap_buffers() {
  if (g_window) SDL_GL_SwapWindow(g_window);
}

int LIN_set_swap_interval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? 1 : 0; }

const char* LIN_last_error() { return SDL_GetError(); }

void* LIN_gl_proc_address(const char* name) {
  if (!video_up()) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

void LIN_flush_events() {
  if (g_video_up) SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);  // safe off the main thread
}

int LIN_next_event(LIN_event_record* e, int wait_ms) {
  if (take_hangup()) {
    clear(e);
    e->what = lin_close;
    return 1;
  }
  SDL_Event ev;
  for (;;) {
    int got = wait_ms > 0 ? SDL_WaitEventTimeout(&ev, wait_ms) : SDL_PollEvent(&ev);
    if (!got) {
      clear(e);
      return 0;
    }
    if (translate(ev, e)) return 1;
    wait_ms = 0;  // something came: drain without waiting again
  }
}

void LIN_flush_input() {
  if (!g_window) return;
  SDL_PumpEvents();  // what the X server already sent lands in the queue first
  // Releases stay: they end presses made before, and act on nothing.
  SDL_FlushEvent(SDL_KEYDOWN);
  SDL_FlushEvents(SDL_TEXTEDITING, SDL_TEXTEDITING_EXT);
  SDL_FlushEvents(SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN);
  SDL_FlushEvent(SDL_MOUSEWHEEL);
}

int LIN_events_while_away() {
  int found = take_hangup() ? lin_away_close : 0;
  if (!g_window) return found;
  LIN_flush_input();
  SDL_Event ev[32];
  while (SDL_PeepEvents(ev, 32, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) > 0) found |= lin_away_close;
  // The window's other events (shown, focus) wait for the frames to come.
  std::vector<SDL_Event> others;
  int n;
  while ((n = SDL_PeepEvents(ev, 32, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT)) > 0)
    for (int i = 0; i < n; ++i) {
      if (ev[i].window.event == SDL_WINDOWEVENT_EXPOSED) found |= lin_away_expose;
      else if (ev[i].window.event == SDL_WINDOWEVENT_CLOSE) found |= lin_away_close;
      else others.push_back(ev[i]);
    }
  if (!others.empty())
    SDL_PeepEvents(others.data(), static_cast<int>(others.size()), SDL_ADDEVENT, 0, 0);
  return found;
}

namespace {
// One channel of an X pixel, as 8 bits.
unsigned char channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0, bits = 0;
  while (!(mask & 1)) mask >>= 1, ++shift;
  while (mask & 1) mask >>= 1, ++bits;
  const unsigned long v = (pixel >> shift) & ((1ul << bits) - 1);
  return static_cast<unsigned char>(bits >= 8 ? v >> (bits - 8) : v << (8 - bits));
}

int x_failed = 0;
int note_x_error(Display*, XErrorEvent*) {
  x_failed = 1;
  return 0;
}
}  // namespace

int LIN_window_picture(std::vector<unsigned char>* rgba, int* width, int* height) {
  rgba->clear();
  *width = *height = 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!g_window || !SDL_GetWindowWMInfo(g_window, &info) || info.subsystem != SDL_SYSWM_X11)
    return 0;
  Display* d = info.info.x11.display;
  const Window w = info.info.x11.window;
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable || a.width <= 0 ||
      a.height <= 0)
    return 0;
  // Only the part on the screen can be read; the rest stays black.
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(d, w, a.root, 0, 0, &rx, &ry, &child);
  const int x0 = std::max(0, -rx), y0 = std::max(0, -ry);
  const int x1 = std::min(a.width, WidthOfScreen(a.screen) - rx);
  const int y1 = std::min(a.height, HeightOfScreen(a.screen) - ry);
  if (x1 <= x0 || y1 <= y0) return 0;
  // A refusal (the window went in the meantime) must not end the program,
  // as the default handler would.
  x_failed = 0;
  XSync(d, False);
  int (*old_handler)(Display*, XErrorEvent*) = XSetErrorHandler(note_x_error);
  XImage* img = XGetImage(d, w, x0, y0, static_cast<unsigned>(x1 - x0),
                          static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
  XSync(d, False);
  XSetErrorHandler(old_handler);
  if (!img || x_failed) {
    if (img) XDestroyImage(img);
    return 0;
  }
  rgba->assign(static_cast<size_t>(a.width) * a.height * 4, 0);
  for (int y = y0; y < y1; ++y) {
    unsigned char* row = rgba->data() + static_cast<size_t>(a.height - 1 - y) * a.width * 4;
    for (int x = x0; x < x1; ++x) {
      const unsigned long p = XGetPixel(img, x - x0, y - y0);
      row[x * 4] = channel(p, img->red_mask);
      row[x * 4 + 1] = channel(p, img->green_mask);
      row[x * 4 + 2] = channel(p, img->blue_mask);
      row[x * 4 + 3] = 255;
    }
  }
  XDestroyImage(img);
  *width = a.width;
  *height = a.height;
  return 1;
}

void LIN_mouse_position(int* h, int* v) {
  if (h) *h = g_mouse_h;
  if (v) *v = g_mouse_v;
}

int LIN_modifier_keys() { return g_mods; }

void LIN_show_cursor(int show) {
  g_cursor_shown = show ? 1 : 0;
  if (g_video_up) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

int LIN_cursor_shown() { return g_cursor_shown; }

void LIN_warp_mouse(int h, int v) {
  g_mouse_h = h;
  g_mouse_v = v;
  if (g_window) SDL_WarpMouseInWindow(g_window, h, v);
}

void LIN_script_move(int h, int v) {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = SDL_MOUSEMOTION;
  ev.motion.windowID = window_id();
  ev.motion.x = h;
  ev.motion.y = v;
  SDL_PushEvent(&ev);
}

void LIN_script_button(int down, int button) {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  ev.button.windowID = window_id();
  ev.button.button = button == 2 ? SDL_BUTTON_RIGHT : button == 3 ? SDL_BUTTON_MIDDLE : SDL_BUTTON_LEFT;
  ev.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  ev.button.clicks = 1;
  // The position the queue will have reached: the last motion pushed.
  SDL_Event peek[64];
  int n = SDL_PeepEvents(peek, 64, SDL_PEEKEVENT, SDL_MOUSEMOTION, SDL_MOUSEBUTTONUP);
  int h = g_mouse_h, v = g_mouse_v;
  for (int i = 0; i < n; ++i) {
    if (peek[i].type == SDL_MOUSEMOTION) h = peek[i].motion.x, v = peek[i].motion.y;
    else h = peek[i].button.x, v = peek[i].button.y;
  }
  ev.button.x = h;
  ev.button.y = v;
  SDL_PushEvent(&ev);
}

void LIN_script_wheel(float steps) {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = SDL_MOUSEWHEEL;
  ev.wheel.windowID = window_id();
  ev.wheel.preciseY = steps;
  ev.wheel.y = static_cast<Sint32>(steps);
  ev.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  SDL_PushEvent(&ev);
}

void LIN_script_key(int down, int keycode, int mods, int repeat) {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  ev.key.windowID = window_id();
  ev.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  ev.key.repeat = repeat ? 1 : 0;
  ev.key.keysym.sym = keycode;
  ev.key.keysym.scancode = SDL_GetScancodeFromKey(keycode);
  ev.key.keysym.mod = sdl_mods_of(mods);
  SDL_PushEvent(&ev);
}

void LIN_script_text(const char* utf8) {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = SDL_TEXTINPUT;
  ev.text.windowID = window_id();
  snprintf(ev.text.text, sizeof(ev.text.text), "%s", utf8);
  SDL_PushEvent(&ev);
}

void LIN_script_close() {
  if (!video_up()) return;
  SDL_Event ev;
  memset(&ev, 0, sizeof(ev));
  ev.type = SDL_WINDOWEVENT;
  ev.window.windowID = window_id();
  ev.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&ev);
}

// The widget toolkit's core: the focus ring, the textured strips and panels
// every widget is drawn from, labels, buttons, check boxes, the slider track,
// the direction dial and the clipboard calls.
#include "GenH/butn.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/ui_items.h"
#include "Linux/lin_clipboard.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/key_queue.h"
#include "OOPS_cpp/tman.h"
#include "TEX/TEX_obj.h"

BTN_modal_hooks_t BTN_modal = {nullptr, nullptr};

// ------------------------------------------------------------ focus ring

namespace {
std::vector<focus_info_t>& focus_ring() {
  static auto* ring = new std::vector<focus_info_t>;
  return *ring;
}
int focus_id = 0;
int wind_focus = 0;

bool key_down_tab(int vkey, int modifiers) { return vkey == 9 && !(modifiers & 16); }

void fatal(const std::string& s1, const std::string& s2, const std::string& s3,
           const std::string& s4, const char* file, int line) {
  __MACIBM_alert(0, s1, s2, s3, s4, t_exit, file, line);
}
}  // namespace

int BTN_key_class(int ch, int vkey) {
  if (vkey == 9) return 0x1;
  if (vkey == 13 || vkey == 187) return 0x2;
  if (vkey == 8 || vkey == 46) return 0x4;
  if (vkey == 27) return 0x8;
  if (vkey >= 33 && vkey <= 40) return 0x10;
  if (ch == '+' || ch == '-') return 0x80;
  if (ch >= '0' && ch <= '9') return 0x40;
  if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) return 0x20;
  if ((ch >= 32 && ch < 127) || ch >= 128) return 0x100;
  return 0x200;
}

void BTN_begin_focus_ring() {
  focus_ring().clear();
  wind_focus = 0;
  BTN_key_queues_new_frame();
  UI_items_new_frame();
}

int BTN_register_focus(int id, int* chars, int* vkeys, int* modifiers, int* ids, int* count,
                       int capacity, int accept, int take) {
  focus_ring().push_back({id, chars, vkeys, modifiers, ids, count, capacity, accept});
  if (take) focus_id = id;
  return focus_id == id ? 1 : 0;
}

int BTN_dispatch_to_focus(int ch, int vkey, int modifiers) {
  if (mnw.window_type == 994) return 0;
  auto& ring = focus_ring();
  const bool tab = key_down_tab(vkey, modifiers);
  if (focus_id == 0) {
    if (tab && !ring.empty()) {
      focus_id = ring.front().id;
      return 1;
    }
    return 0;
  }
  auto it = std::find_if(ring.begin(), ring.end(),
                         [](const focus_info_t& f) { return f.id == focus_id; });
  if (it == ring.end()) {
    focus_id = 0;
    if (tab && !ring.empty()) {
      focus_id = ring.front().id;
      return 1;
    }
    return 0;
  }
  if (tab && !(it->accept & 0x1)) {
    const int n = static_cast<int>(ring.size());
    const int i = static_cast<int>(it - ring.begin());
    const int next = ((i + ((modifiers & 1) ? -1 : 1)) % n + n) % n;
    focus_id = ring[next].id;
    return 1;
  }
  if (!(it->accept & BTN_key_class(ch, vkey))) return 0;
  return BTN_queue_key(it->chars, it->vkeys, it->modifiers, it->ids, it->count,
                       it->queue_capacity, ch, vkey, modifiers, focus_id);
}

void BTN_unfocus_any() { focus_id = 0; }
void BTN_window_has_focus() { wind_focus = 1; }
int BTN_no_focus_yet() { return !wind_focus && !focus_id ? 1 : 0; }
void BTN_focus_any() { focus_id = focus_ring().empty() ? 0 : focus_ring().front().id; }
int BTN_focus_id() { return focus_id; }
int BTN_window_focus() { return wind_focus; }

// ------------------------------------------------------ strips and panels

namespace {

struct strip_kind {
  int tex, col, row, G, F, K, J, extra, y_shift;
};
// Indexed by kind; kind 6 (tex 0) is not a strip.
const strip_kind k_strips[14] = {
    {410, 1, 487, 10, 90, 100, 26, 0, -3},   {410, 102, 487, 20, 80, 100, 26, 0, -3},
    {410, 304, 486, 10, 42, 52, 26, 0, 0},   {410, 304, 459, 10, 42, 52, 26, 0, 0},
    {410, 112, 161, 10, 18, 28, 16, 0, 0},   {410, 83, 161, 10, 18, 28, 16, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},             {410, 240, 242, 10, 55, 65, 24, 0, 0},
    {410, 289, 219, 7, 9, 16, 16, 0, 0},     {410, 262, 133, 10, 41, 51, 26, 4, 0},
    {410, 357, 488, 26, 42, 68, 24, 4, 0},   {413, 926, 97, 16, 32, 48, 30, 0, 0},
    {413, 975, 97, 16, 32, 48, 30, 0, 0},    {413, 877, 97, 16, 32, 48, 30, 0, 0},
};

struct panel_kind {
  int tex, col, row, S, M, Mb, Mt;
};
const panel_kind k_panels[10] = {
    {410, 1, 358, 100, 9, 14, 4},   {410, 102, 358, 100, 9, 14, 4}, {410, 203, 358, 100, 9, 14, 4},
    {410, 304, 358, 100, 9, 14, 4}, {410, 405, 358, 100, 9, 14, 4}, {410, 1, 289, 68, 2, 2, 2},
    {410, 70, 315, 42, 8, 13, 2},   {410, 113, 315, 42, 8, 13, 2},  {410, 440, 12, 44, 6, 9, 4},
    {413, 982, 2, 41, 1, 1, 1},
};

float tex_w(int tex) { return tex == 413 ? 1024.0f : 512.0f; }
float tex_h(int tex) { return tex == 413 ? 128.0f : 512.0f; }

// One textured quad inside a glBegin(GL_QUADS), wound like every quad of the
// drawing layer: lower left, upper left, upper right, lower right. Texel
// coordinates in, texture coordinates out.
void tquad(int tex, float x1, float y1, float x2, float y2, float u1, float v1, float u2,
           float v2) {
  const float tw = tex_w(tex), th = tex_h(tex);
  gl.TexCoord2f(u1 / tw, v1 / th);
  gl.Vertex2f(x1, y1);
  gl.TexCoord2f(u1 / tw, v2 / th);
  gl.Vertex2f(x1, y2);
  gl.TexCoord2f(u2 / tw, v2 / th);
  gl.Vertex2f(x2, y2);
  gl.TexCoord2f(u2 / tw, v1 / th);
  gl.Vertex2f(x2, y1);
}

// A panel's middle tiles along one side: x (or y) from a to b, texels t1 to
// t2. Repeated tiles when `stretch` is 0; otherwise one quad over the whole
// middle (see panel_middle_flat).
struct span {
  float a, b, t1, t2;
};
std::vector<span> cols, rows;  // main thread only; kept to spare the frame an allocation

void panel_spans(std::vector<span>& out, float outer, float cap1, float cap2, float tile,
                 float base, bool stretch) {
  out.clear();
  out.push_back({0, cap1, base, base + cap1});
  const float end = base + cap1 + tile;
  if (stretch) {
    if (outer - cap2 - cap1 > 0) out.push_back({cap1, outer - cap2, base + cap1, end});
  } else {
    const float q = (outer - cap1 - cap2) / tile;
    const int n = q >= 1 ? static_cast<int>(q) + 1 : 1;
    for (int i = 0; i < n; ++i) {
      const float a = cap1 + tile * i;
      float b = cap1 + tile * (i + 1);
      float t2 = end;
      if (b > outer - cap2) {
        b = outer - cap2;
        t2 = std::clamp(base + cap1 + tile * ((b - a) / tile), base + cap1, end);
      }
      if (b - a <= 0) continue;
      out.push_back({a, b, base + cap1, t2});
    }
  }
  out.push_back({outer - cap2, outer, end, end + cap2});
}

// Whether stretching the middle tiles of a panel kind changes no pixel: every
// texel row of its element is one colour across the middle columns and every
// texel column one colour across the middle rows, with a texel of slack each
// way for filtering and rounding. A large panel is otherwise hundreds of small
// quads, the dearest part of a wizard frame under a software renderer. The
// texels are read back once per upload of the texture.
bool panel_middle_flat(int kind, const panel_kind& k, float A, float B, float T) {
  struct verdict {
    const TEX_obj* obj = nullptr;
    unsigned uploads = 0, name = 0;
    int dx = 0, dy = 0;
    bool flat = false;
  };
  static verdict known[10];
  TEX_obj* o = tman.tex_loaded(k.tex) ? tman.get_known_obj(k.tex) : nullptr;
  if (!o || !gl.GetTexImage) return false;
  const verdict now = {o, o->uploads.load(), o->gl_name.load(),
                       static_cast<int>(tman.tex_dx_tot(k.tex)),
                       static_cast<int>(tman.tex_dy_tot(k.tex))};
  verdict& v = known[kind - 14];
  if (v.obj == now.obj && v.uploads == now.uploads && v.name == now.name && v.dx == now.dx &&
      v.dy == now.dy)
    return v.flat;
  v = now;
  const int dx = now.dx, dy = now.dy;
  if (dx < 1 || dy < 1 || now.name == 0) return false;
  std::vector<uint32_t> px(static_cast<size_t>(dx) * static_cast<size_t>(dy));
  gl.BindTexture(GL_TEXTURE_2D, now.name);
  gl.GetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  OGL_reset_tex_bind();
  const float sx = dx / tex_w(k.tex), sy = dy / tex_h(k.tex);
  auto at = [](float texel, float scale, int n) {
    return std::clamp(static_cast<int>(std::floor(texel * scale)), 0, n - 1);
  };
  const int x0 = at(k.col - 1.0f, sx, dx), x1 = at(k.col + k.S + 1.0f, sx, dx);
  const int y0 = at(k.row - 1.0f, sy, dy), y1 = at(k.row + k.S + 1.0f, sy, dy);
  const int mx0 = at(k.col + A - 1, sx, dx), mx1 = at(k.col + k.S - A + 1, sx, dx);
  const int my0 = at(k.row + B - 1, sy, dy), my1 = at(k.row + k.S - T + 1, sy, dy);
  auto texel = [&](int x, int y) { return px[static_cast<size_t>(y) * dx + x]; };
  bool flat = true;
  for (int y = y0; y <= y1 && flat; ++y)
    for (int x = mx0; x <= mx1 && flat; ++x) flat = texel(x, y) == texel(mx0, y);
  for (int x = x0; x <= x1 && flat; ++x)
    for (int y = my0; y <= my1 && flat; ++y) flat = texel(x, y) == texel(x, my0);
  v.flat = flat;
  return flat;
}

void begin_textured(int tex, int colour, float alpha) {
  OGL_setstate(1, 1, 3, 5, 9, 11);
  OGL_setcolor(colour, alpha);
  OGL_bind_tex_slot(tex, 0, 0);
  gl.Begin(GL_QUADS);
}

// A 410 quad from texel rectangle (u1, v1)-(u2, v2), corners in window units.
void icon(float x1, float y1, float x2, float y2, float u1, float v1, float u2, float v2,
          int colour = 0) {
  OGL_2dquad_d(410, colour, 1.0f, x1, y1, x2, y2, u1 / 512, v1 / 512, u2 / 512, v2 / 512, 1, 5);
}

bool in_box(float x1, float y1, float x2, float y2) {
  return x1 <= mnw.mouse_x && mnw.mouse_x <= x2 && y1 <= mnw.mouse_y && mnw.mouse_y <= y2;
}

float half_away(float v) { return std::round(v); }

}  // namespace

void BTN_frame1(int kind, float cx, float cy, float width, int colour) {
  if (kind < 0 || kind > 13 || kind == 6) {
    fatal("Bad BTN_frame1 call!", "", "", "", "butn", 487);
    return;
  }
  const strip_kind& k = k_strips[kind];
  const float W = 2 * half_away(width / 2) + k.extra;
  const float X = half_away(cx) + mnw.origin_x;
  const float Y = cy + k.y_shift + mnw.origin_y;
  const float left = X - W / 2, bottom = Y - k.J / 2.0f, top = Y + k.J / 2.0f;
  const float G = static_cast<float>(k.G), F = static_cast<float>(k.F);
  const float v1 = static_cast<float>(k.row), v2 = static_cast<float>(k.row + k.J);
  begin_textured(k.tex, colour, 1.0f);
  tquad(k.tex, left, bottom, left + G, top, k.col, v1, k.col + G, v2);
  const int n = static_cast<int>((W - 2 * G) / (F - G)) + 1;
  for (int i = 0; i < n; ++i) {
    const float a = G + (F - G) * i;
    float b = G + (F - G) * (i + 1);
    float u2 = k.col + F;
    if (b > W - G) {
      b = W - G;
      const float cut = b - a;
      u2 = F == 0 ? k.col + G + (F - G) / 2
                  : std::clamp(k.col + G + (F - G) * (cut / F), k.col + G, k.col + F);
    }
    if (b - a <= 0) continue;  // a strip narrower than its caps has no middle
    tquad(k.tex, left + a, bottom, left + b, top, k.col + G, v1, u2, v2);
  }
  tquad(k.tex, left + W - G, bottom, left + W, top, k.col + F, v1, k.col + k.K, v2);
  gl.End();
}

void BTN_frame2(int kind, float x, float y, float width, float height, std::string title,
                float alpha) {
  if (kind < 14 || kind > 23) {
    fatal("Bad BTN_frame2 call!", "", "", title, "butn", 552);
    return;
  }
  const panel_kind& k = k_panels[kind - 14];
  const float S = static_cast<float>(k.S);
  float A = static_cast<float>(0.35 * k.S), B = static_cast<float>(0.3 * k.S), T = B;
  if (kind == 20) A = 20, B = 26, T = 14;
  const float left = x - k.M + mnw.origin_x, bottom = y - k.Mb + mnw.origin_y;
  const float OW = width + 2 * k.M, OH = height + k.Mb + k.Mt;

  const float tile_w = S - 2 * A, tile_h = S - B - T;
  const bool flat = panel_middle_flat(kind, k, A, B, T);
  panel_spans(cols, OW, A, A, tile_w, static_cast<float>(k.col), flat);
  panel_spans(rows, OH, B, T, tile_h, static_cast<float>(k.row), flat);
  begin_textured(k.tex, 0, alpha);
  for (const span& r : rows)
    for (const span& c : cols)
      tquad(k.tex, left + c.a, bottom + r.a, left + c.b, bottom + r.b, c.t1, r.t1, c.t2, r.t2);
  gl.End();

  if (!title.empty()) {
    const float tx = kind == 23 ? x + 10 : x + width / 2 - str_dx(title) / 2;
    const float ty = kind == 14 ? y + height - 13 : y + height - 16;
    const int colour = kind == 18 ? 50 : kind == 14 ? 43 : 46;
    OGL_string(colour, tx, ty, title, 9999, font_regular, 0);
  }
  if (kind == 14 && mnw.window_type != 0 && !(mnw.window_type >= 994 && mnw.window_type <= 999))
    BTN_zap_boxes(0);
}

void BTN_util_element(float cx, float cy, float tex_x, float tex_y, float half_w, float half_h,
                      int colour) {
  icon(cx - half_w, cy - half_h, cx + half_w, cy + half_h, tex_x - half_w, tex_y - half_h,
       tex_x + half_w, tex_y + half_h, colour);
}

void BTN_expand_label(const std::string& label, std::string* main, std::string* second,
                      std::string* help) {
  const size_t len = label.size();
  const size_t brace = label.rfind('{');
  const size_t b = brace == std::string::npos ? len : brace;
  // Only a "|" before the help text splits the label: help texts may hold one.
  const size_t bar = b == 0 ? std::string::npos : label.rfind('|', b - 1);
  *main = label.substr(0, bar == std::string::npos ? b : bar);
  *second = bar == std::string::npos ? std::string() : label.substr(bar + 1, b - bar - 1);
  *help = brace == std::string::npos || b + 2 > len ? std::string() : label.substr(b + 2);
}

void BTN_util_draw_label(float x, float y, int align, const std::string& text, int highlight) {
  if (text.empty()) return;
  std::string line1 = text[0] == '-' ? text.substr(1) : text, line2;
  const int len = static_cast<int>(text.size());
  if (align != 1 && len > 12 && text[0] != '-') {
    const int half = len / 2;
    int best = -1;
    for (int i = 1; i < len; ++i) {
      const char c = text[i];
      if (c != ' ' && c != '-' && c != '/') continue;
      if (best < 0 || std::abs(i - half) < std::abs(best - half)) best = i;
    }
    if (best > 0 && best < len - 1) {
      line1 = text.substr(0, best);
      line2 = text.substr(best + 1);
      y += 5;
    }
  }
  const int colour = highlight ? 85 : 46;
  if (align == 1) {
    if (!line1.empty()) OGL_string(colour, x, y, line1, 9999, font_regular, 1);
    return;
  }
  const int a = align == 0 ? 2 : 0;
  if (!line1.empty()) OGL_string(colour, x, y, line1, 9999, font_regular, a);
  if (!line2.empty()) OGL_string(colour, x, y - 10, line2, 9999, font_regular, a);
}

void BTN_fillwin(int with_title, int panel_kind) {
  BTN_frame2(with_title ? 14 : 15, 0, 0, mnw.win_dx, mnw.win_dy, stls.window_title, 1);
  if (panel_kind == 1)
    BTN_frame1(1, mnw.win_dx / 2, mnw.win_dy - 50, mnw.win_dx, 0);
  else if (panel_kind != 24)
    BTN_frame2(panel_kind, 10, 10, mnw.win_dx - 20, mnw.win_dy - 40, "", 1);
}

void BTN_subwin(float reserve, int kind, float x, float y, float width, float height,
                std::string title, float* next_x, float* next_y) {
  if (x < 0) x = 10;
  if (y < 0) y = 10;
  if (width < 0) width = mnw.win_dx - 10 - x;
  if (height < 0) height = mnw.win_dy - 28 - y - reserve;
  BTN_frame2(kind, x, y, width, height, title, 1);
  *next_x = x + width + 10;
  *next_y = y + height + 10;
}

int BTN_zap_boxes(int hot) {
  const float cy = mnw.win_dy - 10;
  const float v1 = hot ? 197.0f : 178.0f, v2 = hot ? 215.0f : 196.0f;
  icon(7, cy - 9, 25, cy + 9, 120, v1, 138, v2);
  UI_item_add("close", 7, cy - 9, 25, cy + 9, 1, 0);
  if (mnw.mouse_clicked && in_box(7, cy - 9, 25, cy + 9)) return 1;
  const float rx = mnw.win_dx - 16;
  icon(rx - 9, cy - 9, rx + 9, cy + 9, 120, v1, 138, v2);
  UI_item_add("zoom", rx - 9, cy - 9, rx + 9, cy + 9, 1, 0);
  return mnw.mouse_clicked && in_box(rx - 9, cy - 9, rx + 9, cy + 9) ? 1 : 0;
}

// ------------------------------------------------------ buttons and boxes

namespace {
// A button's label, centred on its face. A label wider than the face (a long
// translation) is drawn narrowed to fit instead of spilling over the
// neighbouring buttons.
void button_label(float x, float y, float width, const std::string& main, int highlight) {
  const float room = width - 10, w = str_dx(main);
  if (!(w > room) || room <= 0) {
    BTN_util_draw_label(x, y - 3, 1, main, highlight);
    return;
  }
  const float cx = x + mnw.origin_x;
  gl.PushMatrix();
  gl.Translatef(cx, 0, 0);
  gl.Scalef(room / w, 1, 1);
  gl.Translatef(-cx, 0, 0);
  BTN_util_draw_label(x, y - 3, 1, main, highlight);
  gl.PopMatrix();
}
}  // namespace

int BTN_action(float x, float y, float width, int pressed, int style, std::string label,
               std::string hint) {
  std::string main, second, help;
  BTN_expand_label(label, &main, &second, &help);
  if (width <= 0) width = str_dx(main) + 21;
  BTN_frame1(2, x, y, width, 0);
  if (pressed) BTN_frame1(3, x, y, width, 0);
  button_label(x, y, width, main, style == 2 && pressed);
  if (hint != "-") OGL_string(48, x + width / 2 + 10, y + 7, hint, 500, font_regular, 0);
  UI_item_add(main, x - width / 2, y - 10, x + width / 2, y + 10, 1, pressed ? 1 : 0);
  if (mnw.open_menu != -1 || !mnw.mouse_clicked ||
      !in_box(x - width / 2, y - 10, x + width / 2, y + 10))
    return 0;
  if (!pressed && style) {
    // The user sees the press before the caller starts its work.
    BTN_frame1(3, x, y, width, 0);
    button_label(x, y, width, main, 0);
    OGL_sbuff();
  }
  return 1;
}

int BTN_bool(float x, float y, int* value, std::string label, int radio) {
  std::string main, second, help;
  BTN_expand_label(label, &main, &second, &help);
  const float bu = radio ? 92.0f : 148.0f, bv = radio ? 132.0f : 187.0f;
  const float mu = bu, mv = radio ? 151.0f : 206.0f;
  icon(x - 9, y + 3 - 9, x + 9, y + 3 + 9, bu - 9, bv - 9, bu + 9, bv + 9);
  if (*value) icon(x - 9, y + 3 - 9, x + 9, y + 3 + 9, mu - 9, mv - 9, mu + 9, mv + 9);
  BTN_util_draw_label(x - 12, y, 0, main, 0);
  BTN_util_draw_label(x + 12, y, 2, second, 0);
  int result = 0;
  if (mnw.open_menu == -1 && in_box(x - 8, y - 4, x + 8, y + 12)) {
    stls.help_text = help;
    if (mnw.mouse_clicked) {
      *value = *value == 0 ? 1 : 0;
      result = 1;
    }
  }
  UI_item_add(main.empty() ? second : main, x - 8, y - 4, x + 8, y + 12, 1, *value ? 1 : 0);
  return result;
}

int BTN_xbol(float x, float y, bool* value, std::string label) {
  int v = *value ? 1 : 0;
  const int r = BTN_bool(x, y, &v, label, 0);
  *value = v != 0;
  return r;
}

int BTN_xchr(float x, float y, char* value, std::string label) {
  int v = *value;
  const int r = BTN_bool(x, y, &v, label, 0);
  *value = static_cast<char>(v);
  return r;
}

int BTN_xbyt(float x, float y, unsigned char* value, std::string label) {
  int v = *value;
  const int r = BTN_bool(x, y, &v, label, 0);
  *value = static_cast<unsigned char>(v);
  return r;
}

int BTN_is_int(float x, float y, int* selection, int my_value, std::string label) {
  int on = *selection == my_value ? 1 : 0;
  const int r = BTN_bool(x, y, &on, label, 1);
  if (on) *selection = my_value;
  return r;
}

int BTN_type_from_vector(int index, void* list) {
  const auto* v = static_cast<const std::vector<int>*>(list);
  if (!v || index < 0 || index >= static_cast<int>(v->size())) return 0;
  return (*v)[static_cast<size_t>(index)];
}

std::string BTN_name_from_vector(int index, void* list) {
  const auto* v = static_cast<const std::vector<std::string>*>(list);
  if (!v || index < 0 || index >= static_cast<int>(v->size())) return std::string();
  return (*v)[static_cast<size_t>(index)];
}

// ------------------------------------------------------ small widgets

void BTN_frame0(int kind, float cx, float cy, float height) {
  if (kind != 6) {
    fatal("Bad BTN_frame0 call!", "", "", "", "butn", 407);
    return;
  }
  if (cx != std::round(cx)) {
    fatal("BTN_frame0 non-int x_center!", "", "", "", "butn", 408);
    return;
  }
  if (cy != std::round(cy)) {
    fatal("BTN_frame0 non-int y_center!", "", "", "", "butn", 409);
    return;
  }
  const float X = cx + mnw.origin_x, Y = cy + mnw.origin_y;
  const float H = 2 * half_away(height / 2) + 8;
  const float B = Y - H / 2;
  begin_textured(410, 0, 1.0f);
  tquad(410, X - 10, B, X + 10, B + 10, 102, 248, 122, 258);
  const int count = static_cast<int>((H - 20) / 20) + 1;
  for (int i = 0; i < count; ++i) {
    const float a = B + 20 * i + 10;
    float b = a + 20, v2 = 278;
    if (b > B + H - 10) {
      b = B + H - 10;
      v2 = std::clamp(258 + (2.0f / 3.0f) * (b - a), 258.0f, 278.0f);
    }
    if (b - a <= 0) continue;
    tquad(410, X - 10, a, X + 10, b, 102, 258, 122, v2);
  }
  tquad(410, X - 10, B + H - 10, X + 10, B + H, 102, 278, 122, 288);
  gl.End();
}

void plot_dir(float x, float y, float* heading, int style) {
  const float ox = mnw.origin_x, oy = mnw.origin_y;
  gl.PushMatrix();
  gl.Translatef(x + ox, y + oy, 0);
  gl.Rotatef(-*heading, 0, 0, 1);
  const float v1 = style ? 272.0f : 315.0f;
  icon(-5 - ox, -21 - oy, 5 - ox, 21 - oy, 156, v1, 166, v1 + 42);
  gl.PopMatrix();
  icon(x - 28, y - 29, x + 28, y + 29, 178, 160, 234, 218);
  OGL_number(48, x - 14, y - 2, *heading, 3, 0, font_bold);
  if (mnw.mouse_held && in_box(x - 30, y - 30, x + 30, y + 30)) {
    float h = static_cast<float>(std::atan2(mnw.mouse_x - x, mnw.mouse_y - y) * 180.0 / M_PI);
    while (h < 0) h += 360;
    while (h > 360) h -= 360;
    *heading = h;
  }
}

int enter_lat_lon(float* x, float* y, float* longitude, float* latitude) {
  auto split = [](float v, float* d, float* m, float* lo) {
    *d = std::trunc(v);
    *m = *d != 0 ? std::fabs(v - *d) * 60 : v * 60;
    *lo = *d == 0 ? -60.0f : 0.0f;
  };
  auto join = [](float d, float m) { return d != 0 ? d + (d > 0 ? 1 : -1) * m / 60 : m / 60; };
  float dlon, mlon, lolon, dlat, mlat, lolat;
  split(*longitude, &dlon, &mlon, &lolon);
  split(*latitude, &dlat, &mlat, &lolat);
  int r = 0;
  *y -= 50;
  r |= BTN_flt(*x, *y, &dlon, 3, 0, 1, "lon:");
  r |= BTN_flt_range(*x + 50, *y, &mlon, 5, 3, lolon, 60, "");
  *y -= 50;
  r |= BTN_flt(*x + 10, *y, &dlat, 2, 0, 1, "lat:");
  r |= BTN_flt_range(*x + 50, *y, &mlat, 5, 3, lolat, 60, "");
  *longitude = join(dlon, mlon);
  *latitude = join(dlat, mlat);
  return r ? 1 : 0;
}

// ------------------------------------------------------ clipboard

int BTN_is_text_on_clipboard() { return LIN_clipboard_has_text(); }
void BTN_text_to_clipboard(const std::string& text) { LIN_clipboard_set(text); }
int BTN_text_from_clipboard(std::string& text) { return LIN_clipboard_get(text); }

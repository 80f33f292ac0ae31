// The world map of scenery tiles and the disk-space panel, drawn inside the
// current wizard screen over the rules of world_map_logic and wizard_rules.
#include <cstdio>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/run_screens.h"
#include "Installer-f/selection.h"
#include "Installer-f/stg.h"
#include "Installer-f/world_map_logic.h"
#include "OGL/colr.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_seams.h"
#include "OGL/ogl_state.h"

#if __has_include("Installer-f/wizard_frame.h")
#include "Installer-f/wizard_frame.h"
#define FLY_HAVE_INTERFACE_RECT 1
#endif

namespace {
const int k_map_tex = 414;

// A wizard button image (3 select all, 4 select none) with its right edge
// at r's; 1 when the mouse went down on it.
int map_button(const wiz_rect& r, int image, [[maybe_unused]] const char* key) {
#ifdef FLY_HAVE_INTERFACE_RECT
  return mnw.open_menu == -1 && interface_rect(r.x1, r.y0, image, -1, nullptr, 1, 0);
#else
  const int k_button_tex = 413;
  float left, right;
  btn_cut_edges(image, mnw.language, left, right);
  const int inside = wiz_rect_holds(r, mnw.mouse_x, mnw.mouse_y);
  const button_look look = interface_rect_look(1, 0, inside, mnw.mouse_held);
  colr.assign(107, 1, 1, 1);
  BTN_frame1(look.frame_kind, (r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2, r.x1 - r.x0 + 20, 0);
  OGL_2dquad_d(k_button_tex, 107, look.alpha, r.x0, r.y0, r.x1, r.y1, left / 1024, look.t0,
               right / 1024, look.t1, 1, 5);
  UI_item_add(key, r.x0, r.y0, r.x1, r.y1, 1, 0);
  return mnw.open_menu == -1 && mnw.mouse_clicked && inside;
#endif
}

// A tile's name for scripts: its south-west corner, latitude then longitude.
std::string tile_key(int lon, int lat) {
  char name[32];
  std::snprintf(name, sizeof name, "tile %+03d%+04d", lat * 10 - 90, lon * 10 - 180);
  return name;
}
}  // namespace

void UTIL_world_map() {
  OGL_setstate(1, 1, 3, 5, 9, 11);
  OGL_bind_tex_slot(k_map_tex, 0, 0);
  colr.assign(107, 1, 1, 1);
  const wiz_rect all = {248, 150, 752, 402};
  OGL_2dquad_d(k_map_tex, 107, 1, all.x0, all.y0, all.x1, all.y1, 0, 0, 504.0f / 512,
               252.0f / 1024, 1, 5);

  // A menu open over the map takes the mouse.
  const int takes_mouse = mnw.open_menu == -1;
  // A click whose release came in the same frame still toggles its tile.
  const int down = takes_mouse && mnw.mouse_clicked;
  map_pointer p = {mnw.mouse_x, mnw.mouse_y, down, down || (takes_mouse && mnw.mouse_held),
                   MACIBM_frame_count};
  int* sel = stg.scenery_selection;
  int changed = world_map_step(world_map, p, sel);

  for (int i = 0; i < stg_lon_bands; ++i)
    for (int j = 0; j < stg_lat_bands; ++j) {
      const int k = j + i * stg_lat_bands;
      const wiz_rect r = world_map_tile_rect(i, j);
      if (stg.scenery_available[k]) {
        const float row = sel[k] ? 504 : 252;
        OGL_2dquad_d(k_map_tex, 52, 1, r.x0, r.y0, r.x1, r.y1, 14.0f * i / 512,
                     (row + 14.0f * j) / 1024, (14.0f * i + 14) / 512,
                     (row + 14.0f * j + 14) / 1024, 1, 5);
      }
      // Scripts click tiles by name; the ocean needs no name unless selected.
      if (stg.scenery_available[k] || sel[k])
        UI_item_add(tile_key(i, j), r.x0, r.y0, r.x1, r.y1, 1, sel[k] ? 1 : 0);
    }

  if (p.held && world_map.armed) {
    const float ox = world_map.o_x, oy = world_map.o_y, mx = p.x, my = p.y;
    OGL_line(9, 0.5f, mx, my, ox, my);
    OGL_line(9, 0.5f, ox, my, ox, oy);
    OGL_line(9, 0.5f, ox, oy, mx, oy);
    OGL_line(9, 0.5f, mx, oy, mx, my);
  }

  wiz_rect select_all, select_none;
  world_map_buttons(mnw.language, select_all, select_none);
  if (map_button(select_none, 4, "Select None")) world_map_select(sel, 0), changed = 1;
  if (map_button(select_all, 3, "Select All")) world_map_select(sel, 1), changed = 1;
  if (changed) recalc_disk_sizes();
}

int UTIL_disk_space(const std::string& enough_text, const std::string& short_text) {
  std::string text;
  int draw = 0;
  const int enough = disk_space_panel(enough_text, short_text, text, draw);
  if (draw) OGL_string(48, 220, 108, text, 560, font_regular, 0);
  return enough;
}

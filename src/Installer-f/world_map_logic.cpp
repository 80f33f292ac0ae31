#include "Installer-f/world_map_logic.h"

#include <algorithm>

#include "Installer-f/stg.h"

world_map_state world_map;

namespace {
const float k_left = 248, k_bottom = 150, k_tile = 14;

// The bands that the span lo..hi touches, a point on a shared edge counting
// for the higher band as in world_map_tile_at: so a click, a point, paints
// exactly the tile under it, on a border too. False when the span misses the map.
bool bands_between(float lo, float hi, float start, int count, int* first, int* last) {
  const float end = start + k_tile * static_cast<float>(count);
  if (hi < start || lo > end) return false;
  *first = lo <= start ? 0 : std::min(count - 1, static_cast<int>((lo - start) / k_tile));
  *last = std::min(count - 1, static_cast<int>((hi - start) / k_tile));
  return true;
}
}

wiz_rect world_map_tile_rect(int lon, int lat) {
  const float x = k_left + k_tile * static_cast<float>(lon),
              y = k_bottom + k_tile * static_cast<float>(lat);
  return {x, y, x + k_tile, y + k_tile};
}

int world_map_tile_at(float x, float y) {
  int found = -1;
  for (int i = 0; i < stg_lon_bands; ++i)
    for (int j = 0; j < stg_lat_bands; ++j)
      if (wiz_rect_holds(world_map_tile_rect(i, j), x, y)) found = j + i * stg_lat_bands;
  return found;
}

int world_map_step(world_map_state& st, const map_pointer& p, int* selection) {
  // A button held since before a frame without the map began elsewhere.
  if (p.frame != st.last_frame + 1) st.armed = 0;
  st.last_frame = p.frame;
  if (p.went_down) {
    st.o_x = p.x, st.o_y = p.y, st.armed = 1;
    const int t = world_map_tile_at(p.x, p.y);
    if (t >= 0) st.o_use = selection[t] ? 0 : 1;
  }
  int changed = 0;
  int i0, i1, j0, j1;
  if (p.held && st.armed &&
      bands_between(std::min(st.o_x, p.x), std::max(st.o_x, p.x), k_left, stg_lon_bands, &i0,
                    &i1) &&
      bands_between(std::min(st.o_y, p.y), std::max(st.o_y, p.y), k_bottom, stg_lat_bands, &j0,
                    &j1)) {
    for (int i = i0; i <= i1; ++i)
      for (int j = j0; j <= j1; ++j) {
        int& cell = selection[j + i * stg_lat_bands];
        if (cell != st.o_use) cell = st.o_use, changed = 1;
      }
  }
  if (!p.held) st.armed = 0;
  return changed;
}

void world_map_select(int* selection, int value) {
  std::fill(selection, selection + stg_lon_bands * stg_lat_bands, value);
}

void world_map_buttons(int language, wiz_rect& select_all, wiz_rect& select_none) {
  int none_width = 0;
  select_none = interface_rect_box(770, 122, 4, -1, language, &none_width);
  select_all =
      interface_rect_box(765 - static_cast<float>(none_width), 122, 3, -1, language, nullptr);
}

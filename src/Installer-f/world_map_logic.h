// The world map's rules without its drawing: which tile lies under the
// mouse, what a click or a drag paints into the scenery selection, and the
// select-all and select-none buttons. Positions are units of the wizard
// window; the map spans x 248..752 and y 150..402 in tiles of 14 units.
#pragma once

#include "Installer-f/wizard_rules.h"

// The mouse as the map sees it in one frame. frame counts the program's
// frames, one up per frame.
struct map_pointer {
  float x, y;
  int went_down;  // the button went down in this frame
  int held;       // the button is down (also in the frame it went down)
  long frame;
};

// What the map keeps between frames: the drag's origin, the value it paints,
// and whether the drag began while the map was drawn.
struct world_map_state {
  float o_x = 0, o_y = 0;
  int o_use = 0;
  int armed = 0;
  long last_frame = -2;  // the last frame the map was drawn in
};
extern world_map_state world_map;

// Index of the tile at (x, y) into the scenery grids (lat + lon * 18), edges
// included (on a shared edge the tile of the higher band wins); -1 off the
// map.
int world_map_tile_at(float x, float y);
// The tile of longitude band lon and latitude band lat.
wiz_rect world_map_tile_rect(int lon, int lat);

// One frame of the map over selection (36 x 18): a mouse-down stores the
// origin and, on a tile, the value to paint (the tile's opposite); while the
// button is held, every tile the rectangle from the origin to the mouse
// touches takes that value (a point on an edge touches the tile that
// world_map_tile_at gives, so a click toggles the one tile under it). Only a
// drag whose mouse-down the map saw while it was drawn paints: after a frame
// without the map, a held button paints nothing. 1 when a tile changed (the caller then recomputes the totals).
int world_map_step(world_map_state& st, const map_pointer& p, int* selection);
// Select all (every tile, available or not) and select none.
void world_map_select(int* selection, int value);

// The select-all (image 3) and select-none (image 4) buttons, bottom edge at
// y 122: select none with its right edge at 770, select all at 765 less
// the select-none button's width.
void world_map_buttons(int language, wiz_rect& select_all, wiz_rect& select_none);

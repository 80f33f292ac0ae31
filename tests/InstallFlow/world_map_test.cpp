// The drawn world map under a synthetic frame: clicks toggle a tile, a drag
// paints the clicked tile's new value, the buttons select all or none, every
// tile a script may want records an item, and a held button from before a
// frame without the map paints nothing.
#include "GenH/mnw.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/world_map_logic.h"
#include "flow_util.h"

using fly_test::widget_frames;

namespace {
int tile(int lon, int lat) { return lat + lon * stg_lat_bands; }

struct MapFrames : ::testing::Test {
  widget_frames f;
  void SetUp() override {
    sim_info.clear();
    std::fill(std::begin(stg.scenery_selection), std::end(stg.scenery_selection), 0);
    std::fill(std::begin(stg.scenery_available), std::end(stg.scenery_available), 0);
    for (int lon = 10; lon < 20; ++lon)
      for (int lat = 5; lat < 10; ++lat) stg.scenery_available[tile(lon, lat)] = 1;
  }
  // One frame with the map drawn (or not).
  void frame(bool draw = true) {
    f.frame();
    ++MACIBM_frame_count;
    if (draw) UTIL_world_map();
  }
  static float cx(int lon) { return 248 + 14 * lon + 7; }
  static float cy(int lat) { return 150 + 14 * lat + 7; }
  void click(float x, float y) {
    f.click(x, y);
    frame();
    f.release();
    frame();
  }
  int selected() const {
    return static_cast<int>(std::count(std::begin(stg.scenery_selection),
                                       std::end(stg.scenery_selection), 1));
  }
};
}  // namespace

TEST_F(MapFrames, ClickTogglesOneTile) {
  click(cx(12), cy(6));
  EXPECT_EQ(stg.scenery_selection[tile(12, 6)], 1);
  EXPECT_EQ(selected(), 1);
  click(cx(12), cy(6));
  EXPECT_EQ(selected(), 0);
  click(cx(0), cy(0));  // an ocean tile is selectable too
  EXPECT_EQ(stg.scenery_selection[tile(0, 0)], 1);
}

// Each pixel of a tile's drawn frame, the outer ring of its 14 by 14 window
// pixels, is the tile's own once the frame loop has placed the pointer.
TEST_F(MapFrames, EveryPixelOfATilesFrameTogglesThatTile) {
  const wiz_rect r = world_map_tile_rect(12, 6);
  // From the window's top left: columns x0 .. x1 - 1, rows down to y0 from the bottom.
  const int left = static_cast<int>(r.x0), right = static_cast<int>(r.x1) - 1;
  const int top = mnw.window_dy - static_cast<int>(r.y1);
  const int bottom = mnw.window_dy - 1 - static_cast<int>(r.y0);
  ASSERT_EQ(right - left, 13);
  for (int k = 0; k < 14; ++k)
    for (const auto& [px, py] : {std::pair{left + k, top}, std::pair{left + k, bottom},
                                 std::pair{left, top + k}, std::pair{right, top + k}}) {
      MACIBM_load_mxy(nullptr, px, py);
      EXPECT_EQ(world_map_tile_at(mnw.mouse_x, mnw.mouse_y), tile(12, 6)) << px << "," << py;
    }
  MACIBM_load_mxy(nullptr, left + 5, top);
  f.press();
  frame();
  f.release();
  frame();
  EXPECT_EQ(stg.scenery_selection[tile(12, 6)], 1);
  EXPECT_EQ(selected(), 1);
  // The row above is the frame of the tile above.
  MACIBM_load_mxy(nullptr, left + 5, top - 1);
  EXPECT_EQ(world_map_tile_at(mnw.mouse_x, mnw.mouse_y), tile(12, 7));
}

// A quick click: the button goes down and up between two frames.
TEST_F(MapFrames, ClickReleasedWithinOneFrameToggles) {
  f.click(cx(15), cy(7));
  f.release();
  frame();
  EXPECT_EQ(stg.scenery_selection[tile(15, 7)], 1);
  EXPECT_EQ(mnw.mouse_held, 0);
  frame();
  EXPECT_EQ(selected(), 1);
}

TEST_F(MapFrames, DragPaintsTheClickedTilesNewValue) {
  f.click(cx(10), cy(5));
  frame();
  f.move(cx(12), cy(6));
  frame();
  EXPECT_EQ(selected(), 6);  // 3 x 2 tiles swept
  f.release();
  frame();
  // A drag started on a selected tile deselects what it sweeps.
  f.click(cx(11), cy(6));
  frame();
  f.move(cx(13), cy(6));
  frame();
  f.release();
  frame();
  EXPECT_EQ(stg.scenery_selection[tile(10, 5)], 1);
  EXPECT_EQ(stg.scenery_selection[tile(11, 6)], 0);
  EXPECT_EQ(stg.scenery_selection[tile(12, 6)], 0);
  EXPECT_EQ(stg.scenery_selection[tile(13, 6)], 0);
  EXPECT_EQ(selected(), 4);
}

TEST_F(MapFrames, SelectAllAndNoneButtons) {
  frame();
  ASSERT_TRUE(UI_item_find("Select All") && UI_item_find("Select None"));
  const ui_item all = *UI_item_find("Select All"), none = *UI_item_find("Select None");
  EXPECT_FLOAT_EQ(none.x2, 770);
  EXPECT_FLOAT_EQ(none.y1, 122);
  EXPECT_LT(all.x2, none.x1);
  click((all.x1 + all.x2) / 2, (all.y1 + all.y2) / 2);
  EXPECT_EQ(selected(), stg_lon_bands * stg_lat_bands);
  click((none.x1 + none.x2) / 2, (none.y1 + none.y2) / 2);
  EXPECT_EQ(selected(), 0);
}

// Available tiles carry their corner as a name, so a script can click them.
TEST_F(MapFrames, TilesRecordItems) {
  stg.scenery_selection[tile(0, 0)] = 1;
  frame();
  const ui_item* t = UI_item_find("tile -40-080");  // lon band 10, lat band 5
  ASSERT_NE(t, nullptr);
  EXPECT_FLOAT_EQ(t->x1, 248 + 140);
  EXPECT_FLOAT_EQ(t->y1, 150 + 70);
  EXPECT_EQ(t->checked, 0);
  ASSERT_NE(UI_item_find("tile -90-180"), nullptr);  // ocean, but selected
  EXPECT_EQ(UI_item_find("tile -90-180")->checked, 1);
  EXPECT_EQ(UI_item_find("tile -80-180"), nullptr);  // ocean, not selected
  click((t->x1 + t->x2) / 2, (t->y1 + t->y2) / 2);
  EXPECT_EQ(stg.scenery_selection[tile(10, 5)], 1);
}

// The button went down on another screen (or in a dialog) and is still held
// when the map first shows: the map paints nothing from that old origin.
TEST_F(MapFrames, HeldButtonFromBeforeTheMapPaintsNothing) {
  click(cx(10), cy(5));  // origin and paint value from an earlier visit
  ASSERT_EQ(selected(), 1);
  f.click(cx(19), cy(9));
  frame(false);  // the press lands on a frame without the map
  f.move(cx(11), cy(6));
  frame();
  frame();
  EXPECT_EQ(selected(), 1);
  EXPECT_EQ(stg.scenery_selection[tile(11, 6)], 0);
  f.release();
  frame();
  click(cx(11), cy(6));  // a new click works again
  EXPECT_EQ(stg.scenery_selection[tile(11, 6)], 1);
}

TEST_F(MapFrames, DiskSpacePanel) {
  dest_dir_path = fly_test::sandbox() + "work/";
  stg.total_size_kb = 1;
  EXPECT_EQ(UTIL_disk_space("enough", "short"), 1);
  stg.total_size_kb = 1e15f;
  EXPECT_EQ(UTIL_disk_space("enough", "short"), 0);
  dest_dir_path = fly_test::sandbox() + "work/no/such/folder/";
  EXPECT_EQ(UTIL_disk_space("enough", "short"), 1);  // unreadable: counted as enough
}

// The wizard's text helpers and its rules that need no window.
#include <cmath>
#include <limits>
#include <tuple>

#include "GenH/window.h"
#include "Installer-f/formats.h"
#include "Installer-f/frame_passes.h"
#include "Installer-f/utils.h"
#include "Installer-f/wizard_rules.h"
#include "Installer-f/world_map_logic.h"
#include "UTL/xtim.h"
#include "support/test_util.h"

namespace {
const float k_inf = std::numeric_limits<float>::infinity();
const float k_nan = std::numeric_limits<float>::quiet_NaN();
}  // namespace

// Every helper against its table, with the saturation of values that fit no int.
TEST(TextHelpers, EdgeTable) {
  const std::pair<float, const char*> times[] = {{59.9f, "59 seconds"},
                                                 {119, "119 seconds"},
                                                 {120, "2 minutes"},
                                                 {7199, "119 minutes"},
                                                 {7200, "2 hours"},
                                                 {1, "1 second"},
                                                 {0.4f, "0 seconds"},
                                                 {k_nan, "2147483647 hours"},
                                                 {k_inf, "2147483647 hours"},
                                                 {1e30f, "2147483647 hours"},
                                                 {-k_inf, "-2147483648 seconds"},
                                                 {-5.5f, "-5 seconds"}};
  for (const auto& [v, want] : times) EXPECT_EQ(time_str(v), want) << v;

  const std::pair<float, const char*> rates[] = {{1.9f, "1 kilobyte/second"},
                                                 {0.5f, "0 kilobytes/second"},
                                                 {2, "2 kilobytes/second"},
                                                 {k_inf, "2147483647 kilobytes/second"},
                                                 {k_nan, "2147483647 kilobytes/second"}};
  for (const auto& [v, want] : rates) EXPECT_EQ(rate_str(v), want) << v;

  struct {
    float v;
    int width, decimals;
    const char* want;
  } flts[] = {{-3.14159f, 5, 2, "-  3.14"},
              {0.04f, 3, 1, " 0.0"},
              {7, 3, 0, "  7"},
              {100 * 0.053f, 3, 1, " 5.3"},
              {100 * 0.425f, 3, 1, "42.5"},
              {100.0f, 3, 1, "100.0"},
              {0, 1, 0, "0"},
              {2.5f, 1, 0, "3"},
              {-2.5f, 3, 0, "-  3"},
              {1.6f, 2, -1, " 2"},
              {1e20f, 3, 1, "2147483647.0"},
              {-1e20f, 3, 0, "-2147483647"},
              {k_nan, 2, 1, "0.0"}};
  for (const auto& c : flts) {
    std::string out = "old";
    flt_to_str(c.v, &out, c.width, c.decimals);
    EXPECT_EQ(out, c.want) << c.v << " " << c.width << " " << c.decimals;
  }

  const std::pair<float, const char*> sizes[] = {{1024, "1024 KB"},    {1025, "1 MB"},
                                                 {1024000, "1000 MB"}, {2097152, "2.0 GB"},
                                                 {1500000, "1.4 GB"},  {0, "0 KB"}};
  for (const auto& [v, want] : sizes) EXPECT_EQ(size_string(v), want) << v;
  EXPECT_EQ(int_str(-42), "-42");
  EXPECT_EQ(flt_str("%.2f s", 1.5f), "1.50 s");

  const std::pair<const char*, const char*> names[] = {
      {"a/b/c.txt", "c.txt"},
      {"a/b/c/", "c/"},
      {"abc", "abc"},
      {"/abc", "abc"},
      {"a/", ""},
      {"ab/", "ab/"},
      {"", ""},
      {"/", ""},
      {"/x/y/flyvane_installer", "flyvane_installer"}};
  for (const auto& [path, want] : names) {
    std::string out = "old";
    get_file_with_path(out, path);
    EXPECT_EQ(out, want) << path;
  }
}

// Only one path component makes an install folder: "x/.." would make the
// destination the parent, which a cancelled install deletes.
TEST(WizardRules, InstallFolderNamesAndStaleDestinations) {
  for (const char* good : {"Flyvane 9", "...", " ..", "a.b", ".hidden", "Flyvane 9.21rc2"})
    EXPECT_TRUE(install_folder_name_ok(good)) << good;
  for (const std::string& bad : std::vector<std::string>{
           "", ".", "..", "x/..", "a/b", "/", "../Desktop", "a/", std::string("a\0b", 3)})
    EXPECT_FALSE(install_folder_name_ok(bad)) << bad;
  std::string dest = "stale";
  EXPECT_TRUE(install_dest_from_choice("/home/u/Desktop/", "Flyvane 9", dest));
  EXPECT_EQ(dest, "/home/u/Desktop/Flyvane 9/");
  EXPECT_TRUE(install_dest_from_choice("/", "F", dest));
  EXPECT_EQ(dest, "/F/");
  // A disc whose VERSION line gave an empty or a path-like name as the default.
  for (const char* name : {"", "x/..", "../../etc"}) {
    EXPECT_FALSE(install_dest_from_choice("/home/u/Desktop/", name, dest));
    EXPECT_EQ(dest, "/home/u/Desktop/");
  }

  all_skysuites = {"/opt/Flyvane A/", "/home/u/Flyvane B/"};
  for (const char* kept : {"/opt/Flyvane A/", "/home/u/Flyvane B/"}) {
    dest_dir_path = kept;
    clear_stale_dest_dir();
    EXPECT_EQ(dest_dir_path, kept);
  }
  for (const char* stale : {"/home/u/Desktop/", "/opt/Flyvane A", "/opt/", ""}) {
    dest_dir_path = stale;
    clear_stale_dest_dir();
    EXPECT_EQ(dest_dir_path, "") << stale;
  }
  all_skysuites.clear();
  dest_dir_path = "/opt/Flyvane A/";
  clear_stale_dest_dir();
  EXPECT_EQ(dest_dir_path, "");
}

// The cuts per language, a language or image outside the table, and the
// button rectangles the frame and the map place from them.
TEST(WizardRules, ButtonCutsAndRectangles) {
  float l, r;
  btn_cut_edges(2, 0, l, r);
  EXPECT_EQ(r - l, 101);  // English continue, 145..246
  btn_cut_edges(2, 1, l, r);
  EXPECT_EQ(r - l, 112);  // French, 172..284
  btn_cut_edges(6, 5, l, r);
  EXPECT_EQ(l, 789);
  EXPECT_EQ(r, 892);
  for (int lang : {-1, 6, 1000}) {
    btn_cut_edges(1, lang, l, r);
    EXPECT_EQ(l, 56);
    EXPECT_EQ(r, 145);
  }
  for (int image : {-1, 7}) {
    btn_cut_edges(image, 2, l, r);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(r, 96);
  }

  int width = 0;
  const wiz_rect right = interface_rect_box(770, 12, 2, -1, 0, &width);
  EXPECT_EQ(width, 121);
  EXPECT_EQ(right.x0, 669);
  EXPECT_EQ(right.x1, 770);
  EXPECT_EQ(right.y0, 12);
  EXPECT_EQ(right.y1, 34);
  // Go Back stands 10 units left of the right-hand button's frame.
  const wiz_rect back = interface_rect_box(760 - width, 12, 1, -1, 0, nullptr);
  EXPECT_EQ(back.x1, 639);
  EXPECT_EQ(back.x0, 639 - 89);
  const wiz_rect centred = interface_rect_box(500, 50, 0, 0, 3, nullptr);
  EXPECT_EQ(centred.x0, 462.5f);
  EXPECT_EQ(centred.x1, 537.5f);
  const wiz_rect left = interface_rect_box(30, 12, 0, 1, 0, &width);
  EXPECT_EQ(left.x0, 30);
  EXPECT_EQ(left.x1, 86);
  EXPECT_EQ(width, 76);
  EXPECT_TRUE(wiz_rect_holds(left, 30, 34) && wiz_rect_holds(left, 86, 12));
  EXPECT_FALSE(wiz_rect_holds(left, 29.9f, 20) || wiz_rect_holds(left, 50, 34.1f));

  struct {
    int enabled, style, inside, held, kind;
    float t0, alpha;
  } looks[] = {{1, 0, 0, 0, 11, 0.359375f, 1},  {1, 2, 0, 1, 13, 0.359375f, 0.5f},
               {0, 0, 1, 1, 11, 0.359375f, 1},  {0, 2, 1, 0, 13, 0.359375f, 0.5f},
               {1, 0, 1, 1, 12, 0.1796875f, 1}, {1, 0, 1, 0, 11, 0, 1}};
  for (const auto& c : looks) {
    const button_look l = interface_rect_look(c.enabled, c.style, c.inside, c.held);
    EXPECT_EQ(l.frame_kind, c.kind) << c.enabled << c.style << c.inside << c.held;
    EXPECT_EQ(l.t0, c.t0) << c.enabled << c.style << c.inside << c.held;
    EXPECT_EQ(l.alpha, c.alpha) << c.enabled << c.style << c.inside << c.held;
  }

  wiz_rect all, none;
  world_map_buttons(0, all, none);
  EXPECT_EQ(none.x0, 638);
  EXPECT_EQ(none.x1, 770);
  EXPECT_EQ(none.y0, 122);
  EXPECT_EQ(all.x0, 613 - 111);
  EXPECT_EQ(all.x1, 613);
  world_map_buttons(1, all, none);  // French: 477..695 and 284..477
  EXPECT_EQ(none.x0, 770 - 218);
  EXPECT_EQ(all.x1, 765 - 238);
  EXPECT_EQ(all.x0, 527 - 193);
}

// Sizes use 1000 bytes per KB for the volume and 1024 KB per MB on screen;
// equal free and needed space shows the enough text yet says no.
TEST(WizardRules, DiskSpacePanel) {
  std::string text;
  EXPECT_EQ(disk_space_report(250000000999ull, 1500000999ull, 1500000, "enough", "short", text), 0);
  EXPECT_EQ(text,
            "Disk size: 238.4 GB\nFree disk space: 1.4 GB\nDisk space needed to install: 1.4 GB"
            "\n\nenough");
  EXPECT_EQ(disk_space_report(10000999, 3000000, 2000, "enough", "short", text), 1);
  EXPECT_EQ(text,
            "Disk size: 10 MB\nFree disk space: 3 MB\nDisk space needed to install: 2 MB"
            "\n\nenough");
  EXPECT_EQ(disk_space_report(2048000, 1023999, 1024, "enough", "short", text), 0);
  EXPECT_EQ(text,
            "Disk size: 2 MB\nFree disk space: 1023 KB\nDisk space needed to install: "
            "1024 KB\n\nshort");

  int draw = 0;
  dest_dir_path = fly_test::sandbox() + "work/not made yet/";
  stg.total_size_kb = 0;
  EXPECT_EQ(disk_space_panel("enough", "short", text, draw), 1);
  EXPECT_EQ(draw, 1);
  EXPECT_THAT(text, HasSubstr("Disk space needed to install: 0 KB\n\nenough"));
  stg.total_size_kb = 1e15f;
  EXPECT_EQ(disk_space_panel("enough", "short", text, draw), 0);
  EXPECT_THAT(text, HasSubstr("\n\nshort"));
  dest_dir_path = "/no such volume/at all/x/";  // unreadable: enough, nothing drawn
  EXPECT_EQ(disk_space_panel("enough", "short", text, draw), 1);
  EXPECT_EQ(draw, 0);
  EXPECT_EQ(text, "");
}

namespace {
int g_sel[stg_lon_bands * stg_lat_bands];
long g_frame = 100;
map_pointer at(float x, float y, int went_down, int held) {
  return {x, y, went_down, held, ++g_frame};
}
int selected() {
  int n = 0;
  for (int v : g_sel) n += v;
  return n;
}
int cell(int lon, int lat) { return g_sel[lat + lon * stg_lat_bands]; }
}  // namespace

// Clicks toggle one tile, drags paint the value the first tile gave, edges
// belong to the higher band, and select all takes ocean tiles too.
TEST(WorldMap, ClickDragEdgesAndSelectAll) {
  EXPECT_EQ(world_map_tile_at(248, 150), 0);
  EXPECT_EQ(world_map_tile_at(262, 150), 18);      // shared edge: longitude band 1
  EXPECT_EQ(world_map_tile_at(262, 164), 1 + 18);  // and latitude band 1
  EXPECT_EQ(world_map_tile_at(752, 402), 17 + 35 * 18);
  EXPECT_EQ(world_map_tile_at(255, 157), 0);
  for (auto [x, y] : {std::pair{247.9f, 200.f}, {752.1f, 200.f}, {500.f, 149.9f}, {500.f, 402.1f}})
    EXPECT_EQ(world_map_tile_at(x, y), -1) << x << "," << y;

  world_map_state st;
  world_map_select(g_sel, 0);
  EXPECT_EQ(world_map_step(st, at(255, 157, 1, 1), g_sel), 1);  // click an unselected tile
  EXPECT_EQ(selected(), 1);
  EXPECT_EQ(cell(0, 0), 1);
  EXPECT_EQ(world_map_step(st, at(255, 157, 0, 0), g_sel), 0);
  EXPECT_EQ(world_map_step(st, at(255, 157, 1, 1), g_sel), 1);  // and again: off
  EXPECT_EQ(selected(), 0);
  world_map_step(st, at(255, 157, 0, 0), g_sel);

  // A drag from an unselected tile over 3 x 2 tiles selects them all.
  world_map_step(st, at(255, 157, 1, 1), g_sel);
  world_map_step(st, at(270, 165, 0, 1), g_sel);
  EXPECT_EQ(world_map_step(st, at(283, 171, 0, 1), g_sel), 1);
  EXPECT_EQ(selected(), 6);
  EXPECT_EQ(cell(2, 1), 1);
  world_map_step(st, at(283, 171, 0, 0), g_sel);
  EXPECT_EQ(world_map_step(st, at(300, 300, 0, 0), g_sel), 0);  // moving unheld paints nothing

  // A drag started on a selected tile deselects what it sweeps.
  world_map_step(st, at(269, 157, 1, 1), g_sel);  // tile (1, 0), selected
  EXPECT_EQ(selected(), 5);
  world_map_step(st, at(290, 157, 0, 1), g_sel);
  EXPECT_EQ(selected(), 4);
  EXPECT_EQ(cell(0, 0) + cell(0, 1) + cell(1, 1) + cell(2, 1), 4);
  world_map_step(st, at(290, 157, 0, 0), g_sel);
  // A drag from outside the map paints with the value of the last tile click.
  world_map_step(st, at(240, 140, 1, 1), g_sel);
  world_map_step(st, at(256, 158, 0, 1), g_sel);
  EXPECT_EQ(cell(0, 0), 0);
  world_map_step(st, at(256, 158, 0, 0), g_sel);

  world_map_select(g_sel, 1);
  EXPECT_EQ(selected(), stg_lon_bands * stg_lat_bands);  // ocean tiles too
  world_map_select(g_sel, 0);
  EXPECT_EQ(selected(), 0);
}

// A click on a tile's border or corner toggles exactly the tile that
// world_map_tile_at names there.
TEST(WorldMap, ABorderClickTogglesTheOneTileUnderIt) {
  world_map_state st;
  world_map_select(g_sel, 0);
  for (auto [x, y, lon, lat] : {std::tuple{262.f, 164.f, 1, 1}, {262.f, 157.f, 1, 0},
                                {255.f, 150.f, 0, 0}, {752.f, 402.f, 35, 17}}) {
    EXPECT_EQ(world_map_step(st, at(x, y, 1, 1), g_sel), 1) << x << "," << y;
    EXPECT_EQ(selected(), 1) << x << "," << y;
    EXPECT_EQ(cell(lon, lat), 1) << x << "," << y;
    world_map_step(st, at(x, y, 0, 0), g_sel);
    world_map_step(st, at(x, y, 1, 1), g_sel);  // and off again
    world_map_step(st, at(x, y, 0, 0), g_sel);
    EXPECT_EQ(selected(), 0);
  }
}

// The button held since a mouse-down the map did not see (a click on the
// screen before, a frame without the map) paints nothing from the old origin.
TEST(WorldMap, StaleOriginPaintsNothing) {
  world_map_state st;
  world_map_select(g_sel, 0);
  EXPECT_EQ(world_map_step(st, at(600, 300, 0, 1), g_sel), 0);  // first frame, button held
  EXPECT_EQ(world_map_step(st, at(400, 200, 0, 1), g_sel), 0);
  EXPECT_EQ(selected(), 0);

  world_map_step(st, at(255, 157, 1, 1), g_sel);  // a drag begins on the map...
  EXPECT_EQ(selected(), 1);
  g_frame += 3;  // ...then three frames of another screen, the button still down
  EXPECT_EQ(world_map_step(st, at(700, 390, 0, 1), g_sel), 0);
  EXPECT_EQ(selected(), 1);
  world_map_step(st, at(700, 390, 0, 0), g_sel);
  world_map_step(st, at(700, 390, 1, 1), g_sel);  // a new mouse-down paints again
  EXPECT_EQ(selected(), 2);
}

// A busy screen's passes: one on a run's first frame and on a frame with no
// pump since the last busy one (screens driven by tests); otherwise passes
// for the budget in place of the pump's wait, which the flag then skips.
TEST(FramePasses, OnePassUnlessTheyStandInForThePumpsWait) {
  int passes = 0;
  auto busy = [&] { return ++passes > 0; };
  MACIBM_skip_event_wait = 0;
  EXPECT_TRUE(UTIL_frame_passes(true, 20000, 1000, busy));
  EXPECT_EQ(passes, 1);
  EXPECT_EQ(MACIBM_skip_event_wait, 1);
  EXPECT_TRUE(UTIL_frame_passes(false, 20000, 1000, busy));
  EXPECT_EQ(passes, 2) << "no pump ran: nothing to stand in for";

  MACIBM_skip_event_wait = 0;  // what the pump does
  passes = 0;
  const uint64_t t0 = xtim_class::microsecs();
  EXPECT_TRUE(UTIL_frame_passes(false, 20000, 1000, busy));
  const uint64_t took = xtim_class::microsecs() - t0;
  EXPECT_GE(passes, 3);
  EXPECT_GE(took, 15000u);
  EXPECT_LT(took, 60000u);

  // A step that ends stops the passes and leaves the pump its wait.
  MACIBM_skip_event_wait = 0;
  passes = 0;
  EXPECT_FALSE(UTIL_frame_passes(false, 20000, 1000, [&] { return ++passes < 3; }));
  EXPECT_EQ(passes, 3);
  EXPECT_EQ(MACIBM_skip_event_wait, 0);
}

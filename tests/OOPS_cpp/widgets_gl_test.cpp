// Every widget drawn on a real context with the interface textures loaded as
// start-up loads them: no GL error after any of them, screenshots that are
// not uniform, and a few probe pixels where the art must show.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "GenH/butn.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/ui_items.h"
#include "GenH/window.h"
#include "Installer-f/prompts.h"
#include "Installer-f/selection.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OOPS_cpp/butn_opensave.h"
#include "OOPS_cpp/tman.h"
#include "OOPS_cpp/xmap.h"
#include "TEX/TEX_png.h"
#include "UTL/xtim.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {

// The GL errors raised since the last check, with the widget's name.
std::vector<std::string> g_errors;
void check(const char* what) {
  for (GLenum e; (e = gl.GetError()) != GL_NO_ERROR;)
    g_errors.push_back(std::string(what) + ": 0x" + std::to_string(e));
}

// A screenshot of this frame, kept under FLY_KEEP_SHOTS (a folder) when set
// so a person can look at it; the path of the PNG.
std::string shoot(const std::string& name) {
  const int before = [] {
    int n = 0;
    while (fly_test::file_exists("screenshot_" + std::to_string(n) + ".png")) ++n;
    return n;
  }();
  OGL_screenshot(1);
  const std::string path = "screenshot_" + std::to_string(before) + ".png";
  if (const char* keep = getenv("FLY_KEEP_SHOTS"); keep && *keep) {
    std::error_code ec;
    std::filesystem::copy_file(path, std::string(keep) + "/" + name + ".png",
                               std::filesystem::copy_options::overwrite_existing, ec);
  }
  return path;
}

struct png_pixels {
  std::vector<uint8_t> px;
  int w = 0, h = 0;
  const uint8_t* at(int x, int y) const { return &px[(size_t(y) * w + x) * 4]; }
};
png_pixels read_png(const std::string& path) {
  png_pixels out;
  xmap_class file(path);
  unsigned char* px = nullptr;
  TEX_image_desc d{};
  if (!TEX_load_png(path, file, px, GL_RGBA, 0, 0, 0, d) || !px) {
    ADD_FAILURE() << "no PNG at " << path;
    return out;
  }
  out.w = d.width, out.h = d.height;
  out.px.assign(px, px + size_t(d.width) * d.height * 4);
  free(px);
  return out;
}
// Distinct colours of the image, coarse (each channel in 16 steps).
size_t colours(const png_pixels& p) {
  std::vector<bool> seen(4096);
  size_t n = 0;
  for (size_t i = 0; i + 3 < p.px.size(); i += 4) {
    const int k = (p.px[i] >> 4) << 8 | (p.px[i + 1] >> 4) << 4 | p.px[i + 2] >> 4;
    if (!seen[k]) seen[k] = true, ++n;
  }
  return n;
}

int differs(fly_test::rgba a, fly_test::rgba b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// The mean colour of the square of side 2 * half + 1 around a point given in
// logical window units.
fly_test::rgba mean_at(float x, float y, int half) {
  const std::vector<uint8_t> px = fly_test::read_back(int(x + mnw.origin_x) - half,
                                                      int(y + mnw.origin_y) - half, 2 * half + 1,
                                                      2 * half + 1);
  long sum[3] = {0, 0, 0};
  for (size_t i = 0; i < px.size(); i += 4)
    for (int k = 0; k < 3; ++k) sum[k] += px[i + k];
  const long n = long(px.size() / 4);
  return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n), 255};
}

// The window pixel under a point given in logical window units.
fly_test::rgba at_units(float x, float y) {
  return fly_test::pixel(int(x + mnw.origin_x), int(y + mnw.origin_y));
}

struct WidgetsGl : GlWindow {
  void SetUp() override {
    GlWindow::SetUp();
    MACIBM_load_interface_textures();
    // The wizard's button faces and panels.
    tman.load_texture(tex_fail_fatal, 413, 0x10092, tex_load_startup,
                      "RESOURCE:elements_English.png");
    g_errors.clear();
  }
  void TearDown() override {
    EXPECT_TRUE(g_errors.empty()) << ::testing::PrintToString(g_errors);
    GlWindow::TearDown();
  }
  // Runs n frames of draw in logical window type, the last one also
  // running probe before the swap. Dialog windows are drawn the way their
  // modal loops draw them: before the shell's frame, which then swaps.
  void frames(int type, int n, std::function<void()> draw, std::function<void()> probe) {
    static std::function<void()> d, p;
    static int last;
    d = std::move(draw);
    p = std::move(probe);
    MACIBM_startwind(type, 0);
    const bool dialog = mnw.dialog_up;
    for (int i = 0; i < n; ++i) {
      last = i == n - 1;
      const auto one = [] {
        check("before the frame");
        d();
        if (last && p) p();
      };
      if (dialog) {
        one();
      } else {
        fly_test::set_frame(one);
      }
      fly_test::run_frames(1);
    }
    fly_test::set_frame(nullptr);
  }
};

}  // namespace

TEST_F(WidgetsGl, EveryStripAndPanelKindDrawsWithoutAGlError) {
  static std::string shot;
  static fly_test::rgba ground, strip[14], panel[10];
  frames(
      0, 2,
      [] {
        OGL_plot_back_col();
        check("OGL_plot_back_col");
        // The strips, one a row, on the left; the panels in a grid beside them.
        float y = mnw.win_dy - 24;
        for (int kind = 0; kind <= 13; ++kind) {
          if (kind == 6) continue;
          BTN_frame1(kind, 120, y, 200, 0);
          check("BTN_frame1");
          OGL_string(0, 236, y - 3, "strip " + std::to_string(kind), 9999, font_regular, 0);
          y -= 40;
        }
        BTN_frame0(6, 300, 300, 200);
        check("BTN_frame0");
        for (int kind = 14; kind <= 23; ++kind) {
          const int i = kind - 14;
          const float px = 340 + 115.0f * (i % 4), py = mnw.win_dy - 140 - 150.0f * (i / 4);
          BTN_frame2(kind, px, py, 95, 100, kind == 14 ? "Title" : "", 1);
          check("BTN_frame2");
          OGL_string(0, px, py - 22, "panel " + std::to_string(kind), 9999, font_regular, 0);
        }
      },
      [] {
        ground = at_units(310, 20);
        float y = mnw.win_dy - 24;
        for (int kind = 0; kind <= 13; ++kind) {
          if (kind == 6) continue;
          strip[kind] = ground;
          for (float dy = -8; dy <= 8; ++dy)
            if (differs(at_units(60, y + dy), ground) > differs(strip[kind], ground))
              strip[kind] = at_units(60, y + dy);
          y -= 40;
        }
        for (int i = 0; i < 10; ++i)
          panel[i] = at_units(340 + 115.0f * (i % 4) + 47, mnw.win_dy - 140 - 150.0f * (i / 4) + 50);
        shot = shoot("strips_and_panels");
      });
  for (int kind = 0; kind <= 13; ++kind)
    if (kind != 6) {
      EXPECT_GT(differs(strip[kind], ground), 30) << "strip " << kind << " shows";
    }
  for (int i = 0; i < 10; ++i) EXPECT_GT(differs(panel[i], ground), 30) << "panel " << 14 + i << " shows";
  const png_pixels p = read_png(shot);
  EXPECT_EQ(p.w, mnw.window_dx);
  EXPECT_EQ(p.h, mnw.window_dy);
  EXPECT_GT(colours(p), 40u) << "the screenshot is nearly uniform";
}

TEST_F(WidgetsGl, StripsShowTheirOwnRowsOfTheInterfaceArtRightWayUp) {
  // Texels 1:1 on whole pixels: the strip's left cap and first tile are the
  // atlas's texels at the kind's rows, the first row at the bottom.
  const png_pixels art = read_png(std::string(FLY_APP_DIR) + "/Resources/interface.png");
  ASSERT_EQ(art.w, 512);
  ASSERT_EQ(art.h, 512);
  struct probe {
    int kind, col, row, J, y_shift, F;  // F: the end of the first tile
  };
  static const probe kinds[] = {{2, 304, 486, 26, 0, 42}, {3, 304, 459, 26, 0, 42},
                                {9, 262, 133, 26, 0, 41}, {7, 240, 242, 24, 0, 55},
                                {4, 112, 161, 16, 0, 18}};
  static std::vector<uint8_t> got[5];
  static int left[5], bottom[5];
  frames(
      0, 2,
      [] {
        OGL_plot_back_col();
        for (int i = 0; i < 5; ++i) {
          const float cy = 100.0f + 60 * i;
          BTN_frame1(kinds[i].kind, 200, cy, 120, 0);
          check("BTN_frame1");
        }
      },
      [] {
        for (int i = 0; i < 5; ++i) {
          const int extra = kinds[i].kind == 9 ? 4 : 0;
          left[i] = 200 - (120 + extra) / 2;
          bottom[i] = 100 + 60 * i + kinds[i].y_shift - kinds[i].J / 2;
          got[i] = fly_test::read_back(left[i], bottom[i], 30, kinds[i].J);
        }
      });
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(kinds[i].kind);
    int compared = 0, wrong = 0;
    for (int j = 0; j < kinds[i].J; ++j)
      for (int a = 0; a < std::min(30, kinds[i].F); ++a) {
        const uint8_t* t = art.at(kinds[i].col + a, kinds[i].row + j);
        if (t[3] != 255) continue;  // edges blend with the ground
        const uint8_t* g = &got[i][(size_t(j) * 30 + a) * 4];
        ++compared;
        if (std::abs(g[0] - t[0]) > 3 || std::abs(g[1] - t[1]) > 3 || std::abs(g[2] - t[2]) > 3) {
          if (++wrong <= 3)
            ADD_FAILURE() << "texel " << a << "," << j << ": drawn " << int(g[0]) << " "
                          << int(g[1]) << " " << int(g[2]) << ", art " << int(t[0]) << " "
                          << int(t[1]) << " " << int(t[2]);
        }
      }
    EXPECT_GT(compared, 80);
    EXPECT_EQ(wrong, 0) << "of " << compared;
  }
}

TEST_F(WidgetsGl, EveryControlDrawsWithoutAGlErrorAndShowsItsState) {
  static int off = 0, on = 1, radio = 2, tab = 1, slider = 40, list_sel = 1, centre = 4, row = 3;
  static float num = 123.45f, hs = 0.3f, range = 7.5f;
  static int inum = 42;
  static std::string text = "Flyvane Installer", search;
  static std::vector<std::string> rows = {"Aircraft", "Airports", "Custom Scenery", "Global Scenery",
                                          "Manuals",  "Plugins",  "Resources",      "Sounds",
                                          "Terrain",  "Weather"};
  static char cells[9] = "ABCD1234";
  static float heading = 45;
  static fly_test::rgba ground, panel, face, pressed, box_off, box_on, radio_off, radio_on,
      tab_front, tab_back;
  static std::string shot;
  frames(
      0, 3,
      [] {
        OGL_plot_back_col();
        // The controls on the light content panel, as the wizard shows them.
        BTN_frame2(15, 10, 10, mnw.win_dx - 20, mnw.win_dy - 60, "", 1);
        check("BTN_frame2");
        for (int i = 0; i < 3; ++i)
          BTN_tab(i, 0, &tab, i, std::string("Tab ") + char('A' + i));
        check("BTN_tab");
        const float top = mnw.win_dy - 100;
        BTN_action(150, top, 120, 0, 1, "Continue", "-");
        BTN_action(300, top, 120, 1, 1, "Pressed", "-");
        check("BTN_action");
        BTN_bool(150, top - 40, &off, "Off", 0);
        BTN_bool(250, top - 40, &on, "On", 0);
        check("BTN_bool");
        BTN_is_int(350, top - 40, &radio, 1, "One");
        BTN_is_int(450, top - 40, &radio, 2, "Two");
        check("BTN_is_int");
        // The text field, focused with its text selected.
        BTN_enterstring(150, top - 80, &text, 100, "Name", 250, 1);
        check("BTN_enterstring");
        BTN_horz_slider(150, top - 120, 250, 10, 0, 1, &hs, 1, "Volume", "30 %");
        check("BTN_horz_slider");
        BTN_flt_range(150, top - 160, &num, 6, 2, 0, 9999, "Altitude");
        BTN_int(350, top - 160, &inum, 3, 0, "Count");
        BTN_flt_range(500, top - 160, &range, 3, 1, 0, 20, "Range");
        check("number fields");
        BTN_display_number(150, top - 200, 1234.5f, 6, 1, "Shown");
        check("BTN_display_number");
        BTN_chars(350, top - 200, cells, 8, "Code");
        check("BTN_chars");
        BTN_textlist(200, top - 240, &list_sel, "English-French-German", "Language");
        check("BTN_textlist");
        BTN_list_and_search(1, 420, 110, 260, 160, &centre, &row, 0, int(rows.size()) - 1, &search,
                            "Find:", BTN_name_from_vector, &rows, nullptr, nullptr, nullptr,
                            nullptr);
        check("BTN_list_and_search");
        BTN_vert_slider(0, 740, 220, 420, 0, 100, &slider);
        check("BTN_vert_slider");
        plot_dir(120, 90, &heading, 0);
        check("plot_dir");
      },
      [] {
        const float top = mnw.win_dy - 100;
        ground = fly_test::pixel(mnw.window_dx - 3, mnw.window_dy - 3);
        panel = at_units(150 - 40, top - 20);
        face = at_units(150 - 40, top);
        pressed = at_units(300 - 40, top);
        box_off = mean_at(150, top - 37, 6);
        box_on = mean_at(250, top - 37, 6);
        radio_off = mean_at(350, top - 37, 6);
        radio_on = mean_at(450, top - 37, 6);
        tab_front = at_units(88 * 1 + 53 - 45, mnw.win_dy - 38);
        tab_back = at_units(88 * 0 + 53 - 45, mnw.win_dy - 38);
        shot = shoot("controls");
      });
  EXPECT_GT(differs(face, ground), 60) << "a button's face is not the background";
  EXPECT_GT(differs(face, panel), 10) << "a button's face stands out from its panel";
  EXPECT_GT(differs(pressed, face), 20) << "a pressed button differs from a raised one";
  EXPECT_GT(differs(box_on, box_off), 60) << "a checked box differs from an unchecked one";
  EXPECT_GT(differs(radio_on, radio_off), 60) << "a chosen radio differs from the others";
  EXPECT_GT(differs(tab_front, tab_back), 20) << "the front tab differs from the others";

  const png_pixels p = read_png(shot);
  EXPECT_EQ(p.w, mnw.window_dx);
  EXPECT_EQ(p.h, mnw.window_dy);
  EXPECT_GT(colours(p), 40u) << "the screenshot is nearly uniform";
}

TEST_F(WidgetsGl, TheFileChooserDrawsItsFrameListButtonsAndTheAircraftsPreview) {
  for (const char* n : {"Aircraft", "Scenery", "Manuals"}) fly_test::write_file(std::string("pick/") + n + "/x", "");
  // An aircraft file whose header the preview accepts, with a 60 x 40 icon:
  // stored 64 x 64, so only the icon's own texels may reach the quad's edges.
  std::string acf = std::string("i") + std::string("\x84\x03\x00\x00", 4) + std::string(2092, '\0');
  acf.replace(5 + 1552, 9, "Test kite");
  fly_test::write_file("pick/Kite.acf", acf);
  std::vector<unsigned char> icon(60 * 40 * 3);
  for (size_t i = 0; i < icon.size(); i += 3) icon[i] = 200, icon[i + 1] = 40, icon[i + 2] = 90;
  ASSERT_TRUE(TEX_save_png("pick/Kite_icon.png", {GL_RGB, 60, 40, 0, 0}, icon.data()));
  static opensave_state s;
  static std::string chosen, shot;
  static fly_test::rgba ground, panel, preview[2];
  frames(
      998, 3,
      [] {
        if (s.folder.empty()) {
          BTN_opensave_begin(&s, 998, 3, fly_test::sandbox() + "work/pick/Kite.acf");
          s.selected = int(std::find(s.names.begin(), s.names.end(), "Kite.acf") - s.names.begin());
        }
        BTN_opensave_pass(&s, &chosen);
        check("BTN_opensave_pass");
      },
      [] {
        ground = fly_test::pixel(2, 2);
        panel = at_units(200, 90);  // the list's white box
        preview[0] = at_units(441, 180);
        preview[1] = at_units(538, 277);  // the far corner
        shot = shoot("chooser");
      });
  EXPECT_GT(s.names.size(), 3u);
  EXPECT_GT(differs(panel, ground), 60);
  EXPECT_GT(colours(read_png(shot)), 20u);
  for (const fly_test::rgba& p : preview)
    EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{200, 40, 90}));
}

TEST_F(WidgetsGl, ThePromptWindowsShowTheirTextsAndButtons) {
  // The engine builds each window; the runner is asked once and answers at
  // once, and the window it was given is drawn here frame by frame.
  static prompt_window asked;
  installer_prompt_runner = [](const prompt_window& w) {
    asked = w;
    return 2;
  };
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which);
    asked = {};
    if (which == 0) {
      EXPECT_EQ(select_alert("Aircraft/Cessna 172/Cessna_172.acf", 0), 2);
    } else {
      abort_alert("The download stopped.", "Try Again", "Download the file once more.", "Stop",
                  "Leave the installation as it is.");
    }
    ASSERT_EQ(asked.window, which == 0 ? int(prompt_select_window) : int(prompt_abort_window));
    ASSERT_EQ(asked.buttons.size(), which == 0 ? 5u : 2u);
    static std::string shot;
    static fly_test::rgba ground, face;
    frames(
        asked.window, 3,
        [] {
          prompt_window_frame(asked);
          check("prompt_window_frame");
        },
        [] {
          ground = fly_test::pixel(2, 2);
          face = at_units(asked.buttons[0].x - asked.buttons[0].width / 4, asked.buttons[0].y);
          shot = shoot(asked.window == 996 ? "select_alert" : "abort_alert");
        });
    EXPECT_GT(differs(face, ground), 60);
    EXPECT_GT(colours(read_png(shot)), 20u);
  }
  installer_prompt_runner = prompt_headless_runner;
}

TEST_F(WidgetsGl, RealClicksOnThePromptWindowsButtonsGiveTheirAnswers) {
  // Real events at window pixels (from the top left) through the shell's own
  // frames: the dialog's origin and the mouse translation must agree with
  // where the buttons are drawn.
  fly_test::fail_after(60, "a prompt window that never answers");
  BTN_modal = {MACIBM_startwind, MACIBM_event_proc};
  installer_prompt_runner = prompt_window_runner;
  static prompt_window asked;
  const auto click_button = [](int window, const prompt_button& b) {
    // The dialog's origin, as the runner's startwind will set it.
    MACIBM_startwind(window, 0);
    const float ox = mnw.origin_x, oy = mnw.origin_y;
    MACIBM_startwind(0, 0);
    fly_test::script_click(int(b.x + b.width / 4 + ox), int(mnw.window_dy - (b.y + oy)));
  };
  installer_prompt_runner = [](const prompt_window& w) {
    asked = w;
    return 3;
  };
  select_alert("Aircraft/a.acf", 0);
  const prompt_window select = asked;
  abort_alert("The download stopped.", "Try Again", "", "Stop", "");
  const prompt_window abort = asked;
  installer_prompt_runner = prompt_window_runner;
  for (const prompt_button& b : select.buttons) {
    click_button(996, b);
    EXPECT_EQ(select_alert("Aircraft/a.acf", 0), b.result) << b.label;
    EXPECT_EQ(mnw.window_type, 0);
  }
  for (const prompt_button& b : abort.buttons) {
    click_button(997, b);
    EXPECT_EQ(abort_alert("The download stopped.", "Try Again", "", "Stop", ""), b.result)
        << b.label;
  }
  check("prompt windows");
  installer_prompt_runner = prompt_headless_runner;
  BTN_modal = {nullptr, nullptr};
}

namespace {
// The window as it is shown: read by the swap itself, after the hover help,
// cursor and menus the shell draws behind the application's frame.
std::vector<uint8_t> g_shown;
void (*g_real_swap)() = nullptr;
void read_then_swap() {
  g_shown = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy);
  g_real_swap();
}
fly_test::rgba shown_mean(int x, int y, int half) {
  long sum[3] = {0, 0, 0}, n = 0;
  for (int j = y - half; j <= y + half; ++j)
    for (int i = x - half; i <= x + half; ++i, ++n)
      for (int k = 0; k < 3; ++k) sum[k] += g_shown[(size_t(j) * mnw.window_dx + i) * 4 + k];
  return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n), 255};
}
int shown_lit_white(int x1, int y1, int x2, int y2) {
  int n = 0;
  for (int j = y1; j < y2; ++j)
    for (int i = x1; i < x2; ++i) {
      const uint8_t* p = &g_shown[(size_t(j) * mnw.window_dx + i) * 4];
      n += p[0] > 200 && p[1] > 200 && p[2] > 200;
    }
  return n;
}
}  // namespace

TEST_F(WidgetsGl, HoverHelpIsWhiteTextOnItsOwnDarkPanel) {
  g_real_swap = shell_hooks.swap;
  shell_hooks.swap = read_then_swap;
  static int value = 0;
  fly_test::set_frame([] {
    OGL_plot_back_col();
    BTN_frame2(15, 10, 10, mnw.win_dx - 20, mnw.win_dy - 60, "", 1);
    BTN_bool(200, 300, &value, "Check{ Installs the sample liveries with each aircraft.", 0);
  });
  MACIBM_startwind(0, 0);
  fly_test::script_move(200, mnw.window_dy - 303);
  fly_test::run_frames(1);
  mnw.move_time = xtim.real_elapsed - 5;  // hovered for long enough
  fly_test::run_frames(1);
  fly_test::set_frame(nullptr);
  shell_hooks.swap = g_real_swap;
  ASSERT_FALSE(g_shown.empty());
  // The box: x clamped to 10, y = mouse y + 15, 60 high; its panel from
  // (0, 308) over 420 by 80 units.
  const fly_test::rgba inside = shown_mean(300, 330, 4);
  const fly_test::rgba page = shown_mean(600, 330, 4);
  EXPECT_GT(differs(inside, page), 150) << "the help panel stands apart from the page";
  EXPECT_LT(inside.r + inside.g + inside.b, 3 * 100) << "a dark panel under white text";
  EXPECT_GT(shown_lit_white(13, 358, 400, 378), 40) << "the help text is drawn on it";
  check("hover help");
  if (const char* keep = getenv("FLY_KEEP_SHOTS"); keep && *keep) {
    const TEX_image_desc d{GL_RGBA, mnw.window_dx, mnw.window_dy, 0, 0};
    TEX_save_png(std::string(keep) + "/hover_help.png", d, g_shown.data());
  }
}

TEST_F(WidgetsGl, TheStartUpPanelShowsItsFrameMessageAndProgress) {
  g_real_swap = shell_hooks.swap;
  shell_hooks.swap = read_then_swap;
  MACIBM_startwind(0, 0);
  ASSERT_EQ(plot_init_lights, 1);
  float half = 0.5f;
  MACIBM_show_init("Loading bitmap Resources/map.png.", &half);
  shell_hooks.swap = g_real_swap;
  ASSERT_FALSE(g_shown.empty());
  const int x0 = int(mnw.layout_x);
  const fly_test::rgba ground = shown_mean(x0 + 700, 400, 3);
  const fly_test::rgba panel = shown_mean(x0 + 300, 120, 3);
  const fly_test::rgba bar = shown_mean(x0 + 8 + 252, 15, 1);
  const fly_test::rgba trough = shown_mean(x0 + 8 + 700, 15, 1);
  EXPECT_GT(differs(panel, ground), 20) << "the panel's frame is drawn";
  EXPECT_GT(differs(bar, trough), 60) << "the bar fills half the trough";
  EXPECT_GT(bar.b, bar.r + 40) << "the bar is the accent blue";
  EXPECT_GT(shown_lit_white(x0 + 22, 200, x0 + 300, 220), 30) << "the maker's address";
  check("start-up panel");
  if (const char* keep = getenv("FLY_KEEP_SHOTS"); keep && *keep) {
    const TEX_image_desc d{GL_RGBA, mnw.window_dx, mnw.window_dy, 0, 0};
    TEX_save_png(std::string(keep) + "/startup.png", d, g_shown.data());
  }
}

TEST_F(WidgetsGl, ACloseableWindowShowsItsBoxesAndEveryCursorSpriteShows) {
  static std::string shot;
  static fly_test::rgba ground, close_box, sprite[25];
  frames(
      2, 2,  // Prefs: a closable dialog with a title
      [] {
        OGL_plot_back_col();
        BTN_fillwin(1, 15);
        check("BTN_fillwin");
        // Every cursor sprite, in a row of the window, as the shell draws one.
        for (int kind = 3; kind <= 24; ++kind) {
          mnw.mouse_x = 50 + 80.0f * ((kind - 3) % 8);
          mnw.mouse_y = 300 - 80.0f * ((kind - 3) / 8);
          cursor_sprite c;
          MACIBM_cursor_sprite(kind, &c);
          shell_hooks.draw_cursor(c);
        }
        mnw.mouse_x = mnw.mouse_y = -100;
        check("cursor sprites");
      },
      [] {
        ground = fly_test::pixel(2, 2);
        close_box = mean_at(16, mnw.win_dy - 10, 3);
        for (int kind = 3; kind <= 24; ++kind) {
          fly_test::rgba best{0, 0, 0, 0};
          const float x = 50 + 80.0f * ((kind - 3) % 8), y = 300 - 80.0f * ((kind - 3) / 8);
          const fly_test::rgba page = at_units(x + 36, y + 32);
          for (int dy = -8; dy <= 8; dy += 2)
            for (int dx = -8; dx <= 8; dx += 2)
              if (differs(at_units(x + dx, y + dy), page) > differs(best, page))
                best = at_units(x + dx, y + dy);
          sprite[kind] = {differs(best, page), 0, 0, 0};
        }
        shot = shoot("window_and_cursors");
      });
  EXPECT_GT(differs(close_box, at_units(60, mnw.win_dy - 10)), 30) << "the close box shows";
  for (int kind = 3; kind <= 24; ++kind) EXPECT_GT(sprite[kind].r, 60) << "cursor " << kind;
  EXPECT_GT(colours(read_png(shot)), 20u);
}

TEST_F(WidgetsGl, ATextFieldClipsNoPartOfItsGlyphs) {
  // The field's scissor box keeps the text inside the field; it must not cut
  // the descenders, accents or capitals of the text it shows.
  static std::string text = "Typing gjpqy \xC3\x89t\xC3\xA9 \xC3\x85 WAVE";
  static std::vector<uint8_t> field, plain;
  frames(
      0, 2,
      [] {
        OGL_fillrect(0, 1.0f, -mnw.origin_x, -mnw.origin_y, float(mnw.window_dx),
                     float(mnw.window_dy));
        BTN_enterstring(100, 300, &text, 100, "", 300, 0);
      },
      [] { field = fly_test::read_back(100, 290, 300, 25); });
  frames(
      0, 2,
      [] {
        OGL_fillrect(0, 1.0f, -mnw.origin_x, -mnw.origin_y, float(mnw.window_dx),
                     float(mnw.window_dy));
        BTN_frame1(9, 100 + 300 / 2 - 2, 303, 310, 0);
        OGL_string(48, 100, 300, text, 9999, font_regular, 0);
      },
      [] { plain = fly_test::read_back(100, 290, 300, 25); });
  ASSERT_EQ(field.size(), plain.size());
  int differ = 0;
  for (size_t i = 0; i < field.size(); i += 4)
    if (std::abs(field[i] - plain[i]) > 8 || std::abs(field[i + 1] - plain[i + 1]) > 8) {
      if (++differ <= 5)
        ADD_FAILURE() << "clipped at " << 100 + (i / 4) % 300 << "," << 290 + (i / 4) / 300;
    }
  EXPECT_EQ(differ, 0) << "pixels the field's clipping changed";
}

TEST_F(WidgetsGl, LongTranslatedLabelsStayOnTheirButtons) {
  static prompt_window asked;
  installer_prompt_runner = [](const prompt_window& w) {
    asked = w;
    return 3;
  };
  static std::vector<uint8_t> with, without;
  static prompt_button b;
  static std::string label;
  int narrowed = 0;
  for (int language = 0; language <= 5; ++language) {
    SCOPED_TRACE(language);
    mnw.language = language;
    MACIBM_setupforlang();
    OGL_font_reset(font_both);
    for (int del = 0; del < 2; ++del) {
      select_alert("Aircraft/a.acf", del);
      for (const prompt_button& one : asked.buttons) {
        b = one;
        label = UI_tr(b.label);
        narrowed += str_dx(label) > b.width - 10;
        // The button with its label and without: the label's ink is where
        // they differ, and it must stay on the button's face.
        for (int pass = 0; pass < 2; ++pass) {
          static int p;
          p = pass;
          frames(
              996, 1,
              [] {
                OGL_plot_back_col();
                BTN_fillwin(1, 24);
                BTN_action(b.x, b.y, b.width, 0, 1, p ? "" : label, "-");
              },
              [] {
                (p ? without : with) =
                    fly_test::read_back(int(mnw.origin_x), int(mnw.origin_y), int(mnw.win_dx), 80);
              });
        }
        int lo = 1 << 20, hi = -1;
        for (size_t i = 0; i < with.size(); i += 4)
          if (std::abs(with[i] - without[i]) > 24) {
            const int x = int(i / 4) % int(mnw.win_dx);
            lo = std::min(lo, x), hi = std::max(hi, x);
          }
        EXPECT_LT(hi, 1 << 20) << label << ": no ink";
        EXPECT_GE(lo, int(b.x - b.width / 2) + 2) << label;
        EXPECT_LE(hi, int(b.x + b.width / 2) - 2) << label;
      }
    }
    static std::string shot;
    frames(
        996, 2, [] { prompt_window_frame(asked); },
        [] { shot = shoot("select_alert_" + std::to_string(mnw.language)); });
  }
  EXPECT_GT(narrowed, 0) << "some translations are wider than their buttons";
  mnw.language = 0;
  MACIBM_setupforlang();
  installer_prompt_runner = prompt_headless_runner;
}

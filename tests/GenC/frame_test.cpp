// The window, the frame loop and the logical windows, on a real context.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>

#include "GenH/butn.h"
#include "GenH/menu.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/window.h"
#include "OGL/colr.h"
#include "OGL/gl_calls.h"
#include "OGL/gl_frame.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_state.h"
#include "OOPS_cpp/tman.h"
#include "Thread/thread_layer.h"
#include "UTL/memory.h"
#include "UTL/xtim.h"
#include <gtest/gtest-spi.h>

#include "support/gl_harness.h"
#include "support/gl_record.h"
#include "support/test_util.h"

namespace {
uint64_t g_fake_us = 1000000;
uint64_t fake_clock() { return g_fake_us; }
void set_clock(double seconds) { g_fake_us = 1000000 + static_cast<uint64_t>(seconds * 1e6); }

// What the frames a test runs saw.
struct seen {
  int frames = 0, clicked = 0, released = 0, key_hit = 0;
  float x = -1, y = -1;
  std::string text;
  unsigned key = 0;
};
seen g_seen;
void record_key(const LIN_event_record& e) {
  if (e.what == lin_key_down) g_seen.key = e.message & 0xff;
}
void record_text(const char* t) { g_seen.text += t; }

struct Frame : GlWindow {
  void SetUp() override {
    xtim_set_clock(fake_clock);
    set_clock(0);
    xtim_class::microsecs();
    GlWindow::SetUp();
    g_seen = seen();
    shell_hooks.key_raw = record_key;
    shell_hooks.text_input = record_text;
    fly_test::set_frame([] {
      ++g_seen.frames;
      g_seen.clicked += mnw.mouse_clicked;
      g_seen.released += mnw.mouse_released;
      g_seen.key_hit += mnw.key_hit;
      if (mnw.mouse_clicked) g_seen.x = mnw.mouse_x, g_seen.y = mnw.mouse_y;
    });
  }
};
}  // namespace

TEST(StartUp, LogHeaderPixelFormatAndWindowOnALargeScreen) {
  fly_test::gl_use_test_display();
  fly_test::use_program_resources();
  LIN_set_screen_override(1024, 768);
  const char* argv[] = {"prog"};
  MACIBM_init(1, argv);
  ASSERT_EQ(chdir((fly_test::sandbox() + "work").c_str()), 0);  // start-up moved to the program's folder
  const std::string log = fly_test::log_text();
  const char* in_order[] = {"Installer log.txt for Flyvane DVD Installer 2.05r2 compiled on ",
                            "This log file is generated automatically by Tessaline Labs",
                            "If you need to contact tech support",
                            "If you got a hard system crash",
                            "CPU type: ",
                            "\nSkysuite folder:'', case sensitive=",
                            "AGL_RGBA         : 1\n",
                            "AGL_DOUBLEBUFFER : ",
                            "AGL_RED_SIZE     : 8\n",
                            "AGL_GREEN_SIZE   : 8\n",
                            "AGL_BLUE_SIZE    : 8\n",
                            "AGL_ALPHA_SIZE   : ",
                            "AGL_DEPTH_SIZE   : ",
                            "WARNING: OpenGL is drawn by a software renderer (llvmpipe",
                            "OpenGL Vendor    : ",
                            "max point size   : "};
  size_t at = 0;
  for (const char* s : in_order) {
    const size_t f = log.find(s, at);
    ASSERT_NE(f, std::string::npos) << "missing or out of order: " << s << "\n" << log;
    at = f;
  }
  EXPECT_THAT(log, ::testing::ContainsRegex("\nCPU type: [^\n]+ CPU speed \\(mhz\\): [^\n]+ "
                                            "Bus speed \\(mhz\\): \\? RAM \\(MB\\): [0-9]+\n"));
  int x, y, w, h;
  LIN_window_position(&x, &y);
  LIN_window_size(&w, &h);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 40);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  EXPECT_EQ(LIN_window_borderless(), 0);
  EXPECT_EQ(ogl_inited, 1);
  EXPECT_EQ(mnw.window_type, -1);  // the first frame opens window 0
  EXPECT_EQ(menu.size(), 1520u);
  EXPECT_EQ(std::fabs(lookup_sin[90] - 1.0f) < 1e-6f, true);
  GLboolean mask = GL_TRUE;
  gl.GetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  EXPECT_EQ(mask, GL_FALSE);
  THREAD_shutdown();
  MACIBM_nuke_context(0);
}

struct SmallScreen : GlWindow {
  int screen_width() const override { return 800; }
  int screen_height() const override { return 600; }
};

TEST_F(SmallScreen, WindowAsLargeAsTheScreenIsBorderlessAtTheCorner) {
  int x, y;
  LIN_window_position(&x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(LIN_window_borderless(), 1);
  EXPECT_EQ(g_mon_x_res_now, 800);
}

TEST(Screen, WindowedModeTakesTheScreenLessAMargin) {
  LIN_set_screen_override(1280, 1024);
  mnw.x_res = 800;
  mnw.y_res = 600;
  mnw.windowed = 1;
  MACIBM_setres(1);
  EXPECT_EQ(mnw.window_dx, 1240);
  EXPECT_EQ(mnw.window_dy, 964);
  mnw.windowed = 0;
}

TEST(Startwind, CentringAndKinds) {
  fly_test::gl_recorder no_context;  // the 2D viewport goes to a recording table
  mnw.window_dx = 1280;
  mnw.window_dy = 1024;
  mnw.wheel_total = 5;
  mnw.mouse_held = 1;
  MACIBM_startwind(994, 0);
  EXPECT_EQ(mnw.origin_x, 430);
  EXPECT_EQ(mnw.origin_y, 387);
  EXPECT_EQ(mnw.dialog_up, 1);
  EXPECT_EQ(stls.window_title, "BE ADVISED");
  EXPECT_EQ(mnw.wheel_total, 0);
  EXPECT_EQ(mnw.mouse_held, 0);
  EXPECT_EQ(mnw.window_type, 994);
  EXPECT_EQ(mnw.main_window_type, 994);

  mnw.window_dx = 2560;  // 2.5 times as wide as high: two screens side by side
  MACIBM_startwind(994, 0);
  EXPECT_EQ(mnw.origin_x, 430);

  mnw.window_dx = 400;
  mnw.window_dy = 200;
  MACIBM_startwind(998, 0);  // larger than the window
  EXPECT_EQ(mnw.origin_x, 0);
  EXPECT_EQ(mnw.origin_y, 0);
  EXPECT_EQ(stls.window_title, "Open");

  MACIBM_startwind(0, 0);
  EXPECT_EQ(mnw.dialog_up, 0);
  EXPECT_EQ(mnw.win_dx, 400);
  EXPECT_EQ(stls.window_title, "Open");  // unchanged
  EXPECT_EQ(mnw.origin_x, 0);
}

TEST(HoverHelp, HeightsAndClamps) {
  fly_test::gl_recorder no_context;  // the 2D viewport goes to a recording table
  mnw.window_dx = 1024;
  mnw.window_dy = 768;
  MACIBM_startwind(0, 0);
  xtim.real_elapsed = 10;
  mnw.move_time = 8.5f;
  mnw.mouse_x = 500;
  mnw.mouse_y = 300;
  help_box b;
  EXPECT_EQ(MACIBM_help_box(&b), 0);  // no text
  stls.help_text.assign(120, 'x');
  ASSERT_EQ(MACIBM_help_box(&b), 1);
  EXPECT_EQ(b.h, 60);  // 40, clamped up
  EXPECT_EQ(b.x, 85);
  EXPECT_EQ(b.y, 315);
  stls.help_text.assign(1500, 'x');
  ASSERT_EQ(MACIBM_help_box(&b), 1);
  EXPECT_EQ(b.h, 300);
  mnw.mouse_x = 1100;  // beyond the right edge: kept 10 units inside
  mnw.mouse_y = 700;   // near the top: moved down to fit
  MACIBM_help_box(&b);
  EXPECT_EQ(b.x, 1024 - 10 - 400);
  EXPECT_EQ(b.y, 768 - 20 - 300);
  mnw.mouse_x = 0;
  mnw.mouse_y = 0;
  stls.help_text.assign(10, 'x');
  MACIBM_help_box(&b);
  EXPECT_EQ(b.x, 10);
  EXPECT_EQ(b.y, 15);
  mnw.move_time = 9.5f;  // the mouse moved within the second
  EXPECT_EQ(MACIBM_help_box(&b), 0);
  mouse_help_per_wind(0);
  EXPECT_TRUE(stls.help_text.empty());  // emptied every frame
}

TEST(Cursor, SpritesCentredOnTheMouse) {
  mnw.mouse_x = 100;
  mnw.mouse_y = 50;
  mnw.mouse_held = 0;
  cursor_sprite s;
  MACIBM_cursor_sprite(4, &s);
  EXPECT_EQ(s.s0, 199);
  EXPECT_EQ(s.s1, 230);
  EXPECT_EQ(s.x1, 100 - 6 - 15);  // 31 wide: half taken down to 15
  EXPECT_EQ(s.x2 - s.x1, 31);
  EXPECT_EQ(s.y1, 50 - 1 - 14);
  MACIBM_cursor_sprite(18, &s);
  EXPECT_EQ(s.s0, 328);
  mnw.mouse_held = 1;
  MACIBM_cursor_sprite(18, &s);
  EXPECT_EQ(s.s0, 360);
  EXPECT_EQ(s.s1, 390);
  MACIBM_cursor_sprite(30, &s);  // above 24: the plain sprite
  EXPECT_EQ(s.s0, 168);
  EXPECT_EQ(s.t0, 325);
  mnw.mouse_held = 0;
}

TEST(Scroll, SmoothUnitsMakeWheelStepsWithASignedRemainder) {
  mnw.wheel_total = 0;
  APL_handle_scroll(3);
  APL_handle_scroll(3);
  EXPECT_EQ(mnw.wheel_total, 1);
  EXPECT_EQ(APL_scroll_remainder(), 2);
  APL_handle_scroll(-2);
  mnw.wheel_total = 0;
  APL_handle_scroll(-3);
  APL_handle_scroll(-3);
  EXPECT_EQ(mnw.wheel_total, -1);
  EXPECT_EQ(APL_scroll_remainder(), -2);
}

TEST(FrameMenus, EmptySlotsNeverTakeAClick) {
  fly_test::gl_recorder no_context;  // the 2D viewport goes to a recording table
  MACIBM_clear_menus(1);
  MACIBM_clear_menus(0);  // any other mode does nothing
  ASSERT_EQ(menu.size(), 1520u);
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  MACIBM_startwind(0, 0);
  mnw.mouse_x = mnw.mouse_y = 0;
  mnw.mouse_clicked = 1;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 1);  // the click stays for the widgets

  menu[3].title = "File";
  menu[3].x1 = 10, menu[3].x2 = 50, menu[3].y1 = 580, menu[3].y2 = 600;
  menu[3].items.push_back({"Quit", 77, 10, 540, 90, 560});
  xtim.real_elapsed = 20;
  mnw.mouse_x = 20;
  mnw.mouse_y = 590;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.open_menu, 3);
  EXPECT_EQ(mnw.mouse_clicked, 0);
  static int chosen = 0;
  shell_hooks.app_handlemenu = [](int v) { chosen = v; };
  mnw.mouse_x = 30;
  mnw.mouse_y = 550;
  xtim.real_elapsed = 20.5f;
  MACIBM_handlerelease();  // within a second of the press: the menu stays
  EXPECT_EQ(mnw.open_menu, 3);
  xtim.real_elapsed = 21.5f;
  MACIBM_handlerelease();  // a drag to the item and let go
  EXPECT_EQ(chosen, 77);
  EXPECT_EQ(mnw.open_menu, -1);
  MACIBM_reset_hooks();
}

TEST(FrameMenus, AnOpenMenuSlidesToTheTitleUnderTheMouse) {
  fly_test::gl_recorder no_context;  // the 2D viewport goes to a recording table
  MACIBM_clear_menus(1);
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  MACIBM_startwind(0, 0);
  for (int i : {1, 2}) {
    menu[i].title = i == 1 ? "File" : "Edit";
    menu[i].x1 = static_cast<int16_t>(i * 50), menu[i].x2 = static_cast<int16_t>(i * 50 + 40);
    menu[i].y1 = 580, menu[i].y2 = 600;
  }
  mnw.open_menu = 1;
  mnw.mouse_x = 110;  // over "Edit"
  mnw.mouse_y = 590;
  mnw.mouse_clicked = 1;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.open_menu, 2);
  mnw.mouse_x = 400;  // a click outside every title and item closes it
  mnw.mouse_y = 300;
  mnw.mouse_clicked = 1;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 1);
}

TEST(ShowInit, ProgressIsClampedAndCountsWithoutAValue) {
  static float got = -1;
  shell_hooks.show_init_panel = [](const std::string&, float p) { got = p; };
  plot_init_lights = 0;
  MACIBM_show_init("x", nullptr);
  EXPECT_EQ(got, -1);  // nothing drawn before the first logical window
  plot_init_lights = 1;
  MACIBM_show_init("x", nullptr);
  EXPECT_FLOAT_EQ(got, 0.02f);
  float half = 0.5f, more = 7;
  MACIBM_show_init("x", &half);
  EXPECT_FLOAT_EQ(got, 0.5f);
  MACIBM_show_init("x", &more);
  EXPECT_FLOAT_EQ(got, 1);
  for (int i = 0; i < 10; ++i) MACIBM_show_init("x", nullptr);
  EXPECT_FLOAT_EQ(got, 0.10f);  // the eleventh call without a value
  MACIBM_reset_hooks();
}

TEST(DialogBoxes, CornerBoxesCloseOnlyClosableDialogs) {
  fly_test::gl_recorder no_context;  // the 2D viewport goes to a recording table
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  for (int type : {994, 995, 996}) {
    MACIBM_startwind(type, 0);
    mnw.mouse_x = 5;
    mnw.mouse_y = mnw.win_dy - 5;
    MACIBM_handleclick(0);
    EXPECT_EQ(mnw.window_type, type);
  }
  MACIBM_startwind(997, 0);
  mnw.mouse_x = mnw.win_dx - 5;
  mnw.mouse_y = mnw.win_dy - 5;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.window_type, 0);
  MACIBM_startwind(997, 0);
  mnw.mouse_x = 100;
  mnw.mouse_y = 20;
  MACIBM_handleclick(1);  // forced
  EXPECT_EQ(mnw.window_type, 0);

  // Elsewhere in a closable dialog the click goes on: to an open popup.
  MACIBM_clear_menus(1);
  MACIBM_startwind(2, 0);
  menu[menu_popup_slot].items.push_back({"one", 0, 100, 100, 200, 120});
  menu[menu_popup_slot].items.push_back({"two", 0, 100, 80, 200, 99});
  mnw.open_menu = menu_popup_slot;
  active_popup_code = 42;
  mnw.mouse_x = 150;
  mnw.mouse_y = 90;
  mnw.mouse_clicked = 1;
  MACIBM_handleclick(0);
  EXPECT_EQ(mnw.window_type, 2);
  EXPECT_EQ(popup_menu_select, 1);
  EXPECT_EQ(select_popup_code, 42);
  EXPECT_EQ(active_popup_code, 0);
  EXPECT_EQ(mnw.open_menu, -1);
  EXPECT_EQ(mnw.mouse_clicked, 0);
}

TEST(InterfaceColours, SampledFromTheInterfaceImage) {
  std::vector<unsigned char> img(512 * 512 * 4, 0);
  const auto put = [&](int col, int row, int r, int g, int b) {
    unsigned char* p = &img[(static_cast<size_t>(row) * 512 + col) * 4];
    p[0] = r, p[1] = g, p[2] = b;
  };
  put(319, 155, 255, 0, 0);
  put(319, 147, 0, 102, 0);
  put(319, 123, 0, 0, 204);
  put(395, 115, 51, 51, 51);
  put(319, 67, 255, 255, 255);
  MACIBM_sample_interface_colours(img.data());
  EXPECT_FLOAT_EQ(colr.rgb[37][0], 1);
  EXPECT_FLOAT_EQ(colr.rgb[38][1], 0.4f);
  EXPECT_FLOAT_EQ(colr.rgb[41][2], 0.8f);
  EXPECT_FLOAT_EQ(colr.rgb[47][0], 0.2f);
  EXPECT_FLOAT_EQ(colr.rgb[50][2], 1);
  EXPECT_FLOAT_EQ(colr.rgb[42][1], 0.2f);  // mean of 38 and 41
  EXPECT_FLOAT_EQ(colr.rgb[42][2], 0.4f);
}

TEST_F(Frame, ScriptedClickReachesTheFrameAtItsPosition) {
  fly_test::run_frames(1);
  EXPECT_EQ(mnw.window_type, 0);
  fly_test::script_click(100, 500);
  fly_test::run_frames(1);
  EXPECT_EQ(g_seen.clicked, 1);
  EXPECT_EQ(g_seen.released, 1);
  // The centre of the pixel, y up from the bottom of the 600-pixel window.
  EXPECT_EQ(g_seen.x, 100.5f);
  EXPECT_EQ(g_seen.y, 99.5f);
  fly_test::run_frames(1);
  EXPECT_EQ(g_seen.clicked, 1);  // one frame only
  EXPECT_EQ(mnw.mouse_held, 0);
  fly_test::script_move(10, 20);
  fly_test::script_down(2);
  fly_test::run_frames(1);
  EXPECT_EQ(mnw.right_button, 1);
  EXPECT_EQ(mnw.mouse_x, 10.5f);
  EXPECT_EQ(mnw.mouse_held, 1);
}

// A frame that does its own work (a running install's passes) in place of
// the pump's one-tick wait: the next pump only drains, and the one after a
// frame without work waits again.
TEST_F(Frame, AFrameWithItsOwnWorkMakesTheNextPumpDrainOnly) {
  auto timed = [](int frames) {
    const auto t0 = std::chrono::steady_clock::now();
    fly_test::run_frames(frames);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  fly_test::set_frame([] { MACIBM_skip_event_wait = 1; });
  fly_test::run_frames(1);
  const double busy = timed(10);
  fly_test::set_frame([] {});
  fly_test::run_frames(1);
  const double idle = timed(10);
  EXPECT_GE(idle, 0.15);  // ten ticks of waiting
  EXPECT_LT(busy, idle - 0.08);
}

TEST_F(Frame, AFrameThatTakesTimeStillComesOncePerTick) {
  auto timed = [](int frames) {
    const auto t0 = std::chrono::steady_clock::now();
    fly_test::run_frames(frames);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  fly_test::set_frame([] {});
  fly_test::run_frames(1);
  const double idle = timed(10);
  // Ten frames of 10 ms of work each: the pump waits only what is left of
  // each tick, not a whole tick after the work (which would add 0.1 s).
  fly_test::set_frame([] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
  fly_test::run_frames(1);
  const double slow = timed(10);
  EXPECT_LT(slow, idle + 0.05);
}

TEST_F(Frame, KeyAndClickInOneFrameSetBothFlags) {
  fly_test::run_frames(1);
  fly_test::script_key('a', lin_mod_shift);
  fly_test::script_text("A");
  fly_test::script_click(50, 50);
  fly_test::run_frames(1);
  EXPECT_EQ(g_seen.key_hit, 1);
  EXPECT_EQ(g_seen.clicked, 1);
  EXPECT_EQ(g_seen.key, 'A');
  EXPECT_EQ(g_seen.text, "A");
  EXPECT_EQ(mnw.key_down, 0);  // the key went up again
  EXPECT_EQ(has_shiftkey(), 1);
  EXPECT_EQ(has_controlkey(), 0);
}

TEST_F(Frame, WheelStepsAndSmoothScrolling) {
  fly_test::run_frames(1);
  fly_test::script_wheel(2);
  fly_test::script_wheel(0.75f);
  fly_test::script_wheel(0.75f);
  fly_test::run_frames(1);
  EXPECT_EQ(mnw.wheel_total, 3);
  EXPECT_EQ(APL_scroll_remainder(), 2);
}

TEST_F(Frame, IdleCursorHidesInTheApplicationWindowOnly) {
  fly_test::run_frames(1);
  EXPECT_EQ(LIN_cursor_shown(), 1);
  set_clock(5);
  fly_test::run_frames(1);
  EXPECT_EQ(LIN_cursor_shown(), 1);
  set_clock(11);
  fly_test::run_frames(1);
  EXPECT_EQ(LIN_cursor_shown(), 0);
  fly_test::script_move(300, 300);
  set_clock(11.5);
  fly_test::run_frames(1);
  EXPECT_EQ(LIN_cursor_shown(), 1);

  MACIBM_startwind(994, 0);
  set_clock(30);
  fly_test::run_frames(1);
  EXPECT_EQ(LIN_cursor_shown(), 1);  // never in a framework dialog
  EXPECT_EQ(g_seen.frames, 4);        // no application frame under the dialog
}

TEST_F(Frame, CloseButtonEndsTheLoopAsQuitWould) {
  app_done = 0;
  fly_test::run_frames(1);
  fly_test::script_close();
  fly_test::run_frames(1);
  EXPECT_EQ(app_done, 1);
  app_done = 0;
}

TEST_F(Frame, SteadyFramesAllocateNothing) {
  fly_test::run_frames(5);
  fly_test::script_click(10, 10);
  fly_test::run_frames(2);
  const uint64_t before = UTL_operator_new_calls();
  for (int i = 0; i < 20; ++i) {
    if (i % 5 == 0) fly_test::script_move(100 + i, 100);
    fly_test::run_frames(1);
  }
  EXPECT_EQ(UTL_operator_new_calls() - before, 0u);
}

// A still screen is neither submitted nor swapped while its logic runs on;
// whatever changes the picture (a key, a click, progress, the hover-help
// timer, an expose) is drawn in the frame that sees it, and a read-back, in a
// frame or between frames, sees the whole picture.
TEST_F(Frame, AStillScreenIsHeldBackUntilItsPictureChanges) {
  static float progress;
  static bool read_in_frame;
  static fly_test::rgba seen_in_frame;
  progress = 0.25f;
  read_in_frame = false;
  colr.assign(37, 0, 0, 0);
  fly_test::set_frame([] {
    ++g_seen.frames;
    shell_hooks.plot_back_col();
    OGL_setstate(1, 0, 3, 4, 9, 11);
    gl.Color3f(1, 0, 0);
    const auto box = [](float x1, float y1, float x2, float y2) {
      gl.Begin(GL_QUADS);
      gl.Vertex2f(x1, y1);
      gl.Vertex2f(x1, y2);
      gl.Vertex2f(x2, y2);
      gl.Vertex2f(x2, y1);
      gl.End();
    };
    box(0, 0, 400 * progress, 20);
    if (mnw.mouse_clicked) box(500, 500, 520, 520);
    OGL_string(52, 200, 300, g_seen.text, 400, font_regular, 0);
    stls.help_text = "Help for the still screen.";
    if (read_in_frame) seen_in_frame = fly_test::pixel(150, 10);
  });
  const auto drawn_by = [](const std::function<void()>& change) {
    const long before = OGL_frames_swapped();
    change();
    fly_test::run_frames(1);
    return OGL_frames_swapped() - before;
  };
  fly_test::run_frames(3);
  const long swapped = OGL_frames_swapped(), held = OGL_frames_held();
  const int frames = g_seen.frames;
  fly_test::run_frames(10);
  EXPECT_EQ(OGL_frames_swapped(), swapped);
  EXPECT_EQ(OGL_frames_held(), held + 10);
  EXPECT_EQ(g_seen.frames, frames + 10);  // the frame's logic ran all the same

  EXPECT_EQ(drawn_by([] {
              fly_test::script_key('a');
              fly_test::script_text("a");
            }),
            1);
  // A frame that uploaded (the new glyph) is drawn once more, then held.
  EXPECT_EQ(drawn_by([] {}), 1);
  EXPECT_EQ(drawn_by([] {}), 0);
  EXPECT_EQ(drawn_by([] { fly_test::script_click(700, 300); }), 1);
  fly_test::run_frames(2);
  EXPECT_EQ(drawn_by([] { progress = 0.5f; }), 1);
  EXPECT_EQ(drawn_by([] {}), 0);
  EXPECT_EQ(drawn_by([] { set_clock(30); }), 1);  // the hover help, a second after the click
  fly_test::run_frames(1);
  EXPECT_EQ(drawn_by([] {}), 0);
  EXPECT_EQ(drawn_by([] {
              LIN_event_record e{};
              e.what = lin_expose;
              APL_handlewin(&e);
            }),
            1);
  EXPECT_EQ(drawn_by([] {}), 0);

  const fly_test::rgba between = fly_test::pixel(150, 10);
  EXPECT_EQ(between.r, 255);  // progress 0.5 reaches x = 200
  EXPECT_EQ(drawn_by([] { read_in_frame = true; }), 1);
  EXPECT_EQ(seen_in_frame.r, 255);
  EXPECT_EQ(seen_in_frame.g, 0);
}

// A press shown at once, in the middle of a frame (as a button does before
// its caller opens a dialog), leaves the last whole frame known as the screen
// showed it: with what the frame draws after the press, without the press.
TEST_F(Frame, APressShownMidFrameKeepsTheWholeFrameBefore) {
  static bool press;
  static std::vector<unsigned char> whole;
  static int got, w, h;
  press = false;
  got = w = h = 0;
  colr.assign(37, 0, 0, 1);
  fly_test::set_frame([] {
    const auto box = [](float r, float g, float x1, float x2) {
      gl.Color3f(r, g, 0);
      gl.Begin(GL_QUADS);
      gl.Vertex2f(x1, 100);
      gl.Vertex2f(x1, 200);
      gl.Vertex2f(x2, 200);
      gl.Vertex2f(x2, 100);
      gl.End();
    };
    shell_hooks.plot_back_col();
    OGL_setstate(1, 0, 3, 4, 9, 11);
    if (press) {
      box(0, 1, 300, 400);
      OGL_sbuff();
      got = OGL_frame_whole_picture(&whole, &w, &h);
    }
    box(1, 0, 100, 200);
  });
  fly_test::run_frames(3);
  press = true;
  fly_test::run_frames(1);
  ASSERT_EQ(got, 1);
  ASSERT_EQ(w, 800);
  ASSERT_EQ(h, 600);
  const auto at = [](int x, int y) { return &whole[(static_cast<size_t>(y) * 800 + x) * 4]; };
  EXPECT_EQ(at(150, 150)[0], 255);  // drawn after the press
  EXPECT_EQ(at(350, 150)[1], 0);    // the press itself
  EXPECT_EQ(at(350, 150)[2], 255);
}

// A picture that stood still for half a second waits up to three ticks for
// events, but the hover help (a second after the pointer last moved) and the
// idle cursor (ten seconds after) are never late.
TEST_F(Frame, AStillPictureWaitsLongerButNotPastItsTimers) {
  fly_test::set_frame([] { shell_hooks.plot_back_col(); });
  fly_test::run_frames(4);
  const float still = xtim.real_elapsed;
  mnw.move_time = still;
  const auto wait_at = [still](float t) {
    xtim.real_elapsed = still + t;
    return MACIBM_event_wait_ms();
  };
  EXPECT_EQ(wait_at(0.2f), 16);
  EXPECT_EQ(wait_at(0.6f), 50);
  EXPECT_NEAR(wait_at(0.98f), 20, 1);
  EXPECT_EQ(wait_at(5.0f), 50);
  EXPECT_NEAR(wait_at(9.99f), 10, 1);
  EXPECT_EQ(wait_at(12.0f), 50);
  // A swapped frame starts the half second again.
  colr.assign(37, 0.5f, 0, 0);
  fly_test::run_frames(1);
  EXPECT_EQ(MACIBM_event_wait_ms(), 16);
}

// A caret blinks, and between its changes the still screen with its focused
// field is held back.
TEST_F(Frame, AFocusedFieldIsHeldBackBetweenTheCaretsBlinks) {
  static std::string text;
  text = "Bench Release";
  fly_test::set_frame([] {
    shell_hooks.plot_back_col();
    BTN_enterstring(100, 200, &text, 256, "-Install Name:", 400, 0);
  });
  fly_test::run_frames(1);
  fly_test::script_click(490, 396);  // the field's right end: a caret after the text
  fly_test::run_frames(3);
  ASSERT_TRUE(BTN_focus_id());
  const long swapped = OGL_frames_swapped();
  float lo = 2, hi = -1;
  for (int i = 1; i <= 140; ++i) {
    set_clock(0.01 * i);
    fly_test::run_frames(1);
    lo = std::min(lo, colr.pulse);
    hi = std::max(hi, colr.pulse);
  }
  const long drawn = OGL_frames_swapped() - swapped;
  EXPECT_GE(drawn, 2);
  EXPECT_LE(drawn, 3);
  EXPECT_LE(lo, 0.5f);  // plainly visible
  EXPECT_GE(hi, 0.9f);
}

// Front faces are clockwise in window coordinates and back faces are culled:
// a quad given lower-left, upper-left, upper-right, lower-right draws, the
// reverse order does not. Read before the swap.
TEST_F(Frame, ClockwiseQuadsDrawCounterClockwiseAreCulled) {
  colr.assign(37, 0, 0, 0);
  static fly_test::rgba cw, ccw, back;
  fly_test::set_frame([] {
    shell_hooks.plot_back_col();
    OGL_setstate(1, 0, 3, 4, 9, 11);
    gl.Color3f(1, 0, 0);
    gl.Begin(GL_QUADS);
    gl.Vertex2f(100, 100);
    gl.Vertex2f(100, 200);
    gl.Vertex2f(200, 200);
    gl.Vertex2f(200, 100);
    gl.Vertex2f(300, 100);
    gl.Vertex2f(400, 100);
    gl.Vertex2f(400, 200);
    gl.Vertex2f(300, 200);
    gl.End();
    cw = fly_test::pixel(150, 150);
    ccw = fly_test::pixel(350, 150);
    back = fly_test::pixel(500, 500);
  });
  fly_test::run_frames(1);
  EXPECT_EQ(cw.r, 255);
  EXPECT_EQ(cw.g, 0);
  EXPECT_EQ(ccw.r, 0);
  EXPECT_EQ(back.r, 0);
  EXPECT_TRUE(fly_test::screenshot(fly_test::sandbox() + "frame.rgba"));
  EXPECT_EQ(fly_test::read_file(fly_test::sandbox() + "frame.rgba").size(),
            std::string("RGBA 800 600\n").size() + 800u * 600u * 4u);
}

TEST_F(Frame, TraceNamesEveryWindowChangeInWindowPixels) {
  const std::string path = fly_test::sandbox() + "trace.txt";
  setenv("FLY_TRACE", path.c_str(), 1);
  fly_test::run_frames(1);
  MACIBM_startwind(994, 0);
  fly_test::run_frames(2);
  MACIBM_startwind(0, 0);
  fly_test::run_frames(1);
  const std::string t = fly_test::read_file(path);
  EXPECT_THAT(t, HasSubstr("window 0 title=\"\" rect=0,0,800,600\n"));
  EXPECT_THAT(t, HasSubstr("window 994 title=\"BE ADVISED\" rect=190,175,420,250\n"));
  EXPECT_EQ(t.rfind("window 0 title=\"\" rect=0,0,800,600\n"), t.size() - 35) << t;
}

TEST(Harness, MissingContextFailsTheTest) {
  setenv("FLY_TEST_VIDEO", "no_such_video_driver", 1);
  EXPECT_NONFATAL_FAILURE(fly_test::gl_open_window(), "no OpenGL window or context");
  unsetenv("FLY_TEST_VIDEO");
}

// xvfb-run -a alone races when two tests start servers at once: each test's
// search starts at a display number of its own.
const std::string k_xvfb =
    "xvfb-run -a -n $((200 + $$ % 700)) -s '-screen 0 1024x768x24'";

// The program itself on an X server (as `make run` starts it without a
// display): it opens its window and runs frames until told to stop.
TEST(Program, RunsFramesUnderAnXServer) {
  const std::string exe = std::string(FLY_BUILD_DIR) + "/app/flyvane_installer";
  const std::string trace = fly_test::sandbox() + "x11_trace.txt";
  std::string out;
  // A known language: no language question at the first start.
  const int rc = fly_test::run("unset SDL_VIDEODRIVER; LANGUAGE=en FLY_TRACE='" + trace +
                                   "' FLY_QUIT_AFTER_FRAMES=20 timeout 60 " + k_xvfb + " '" + exe +
                                   "' 2>&1",
                               &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_THAT(fly_test::read_file(trace), HasSubstr("window 0 title=\"\" rect=0,0,800,600\n"));
  const std::string log =
      fly_test::read_file(fly_test::sandbox() + "home/Desktop/Flyvane Installer Log.txt");
  EXPECT_THAT(log, HasSubstr("OpenGL Render    : llvmpipe"));
}

// On a real X server the window stands where start-up put it, and a quit
// request (SIGTERM, as a session ending sends) closes the program down in order.
TEST(Program, WindowGeometryOnXAndAnOrderlyQuit) {
  const std::string exe = std::string(FLY_BUILD_DIR) + "/app/flyvane_installer";
  fly_test::write_file(fly_test::sandbox() + "x.sh",
                       "\"$1\" & p=$!\n"
                       "xdotool search --sync --name 'Flyvane Installer' getwindowgeometry\n"
                       "kill -TERM $p\n"
                       "wait $p\n"
                       "echo \"exit=$?\"\n");
  std::string out;
  fly_test::run("unset SDL_VIDEODRIVER; timeout 60 " + k_xvfb + " sh '" + fly_test::sandbox() +
                    "x.sh' '" + exe + "' 2>/dev/null",
                &out);
  EXPECT_THAT(out, HasSubstr("Position: 0,40"));
  EXPECT_THAT(out, HasSubstr("Geometry: 800x600"));
  EXPECT_THAT(out, HasSubstr("exit=0"));
}

TEST(StartUp, NoGraphicsIsTheFatalAlert) {
  setenv("SDL_VIDEODRIVER", "no_such_video_driver", 1);
  const char* argv[] = {"prog"};
  EXPECT_FATAL_ALERT(MACIBM_init(1, argv), "I could not set up the graphics for Flyvane!");
  ASSERT_EQ(chdir((fly_test::sandbox() + "work").c_str()), 0);
  EXPECT_EQ(fly_test::alerts().back().file, "GenC/hl_init");
  EXPECT_EQ(fly_test::alerts().back().line, 1648);
  THREAD_shutdown();
}

TEST_F(SmallScreen, NoAntialiasingAskedMeansNoMultisampling) {
  EXPECT_EQ(mnw.alias_req, 0);
  EXPECT_EQ(mnw.alias_got, 0);
  EXPECT_EQ(gl.IsEnabled(GL_MULTISAMPLE), GL_FALSE);
  EXPECT_EQ(gl.IsEnabled(GL_CULL_FACE), GL_TRUE);
  GLint front = 0;
  gl.GetIntegerv(GL_FRONT_FACE, &front);
  EXPECT_EQ(front, GL_CW);
}

// A texture that failed is reported once, in the application's window only,
// each kind with its own lines.
TEST_F(Frame, TextureFailuresAreReportedOnceEach) {
  fly_test::clear_alerts();
  tman.got_instl_load_fail();
  tman.got_scene_load_fail();
  fly_test::run_frames(3);
  ASSERT_EQ(fly_test::alerts().size(), 2u);
  EXPECT_EQ(fly_test::alerts()[0].s1, "Some scenery textures could not be loaded.");
  EXPECT_EQ(fly_test::alerts()[0].line, 1916);
  EXPECT_EQ(fly_test::alerts()[1].s1, "Some textures could not be loaded.");
  EXPECT_EQ(fly_test::alerts()[1].s3,
            "Please see the log.txt file for a detailed list of missing files.");
  tman.got_instl_load_fail();
  fly_test::run_frames(2);
  EXPECT_EQ(fly_test::alerts().size(), 2u);
}

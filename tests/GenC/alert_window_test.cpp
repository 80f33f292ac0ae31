// The alert in its own window on a real context: acknowledging it, what it
// logs, alerts of workers and alerts inside alerts. Fatal ones run in a
// child process.
#include <SDL2/SDL_keycode.h>
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "GenH/keys.h"
#include "GenH/keys_pump.h"
#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/stls.h"
#include "GenH/window.h"
#include "OGL/ogl_draw.h"
#include "Thread/thread.h"
#include "Thread/thread_layer.h"
#include "UTL/cmdline.h"
#include "support/gl_harness.h"
#include "support/test_util.h"

namespace {
struct shown {
  int frames_994 = 0;
  std::vector<std::string> titles;
  std::vector<uint8_t> first_frame;  // the back buffer of the first alert frame
};
shown g_shown;
void (*g_inside_alert)() = nullptr;

void watching_swap() {
  if (mnw.window_type == 994) {
    if (g_shown.frames_994++ == 0)
      g_shown.first_frame = fly_test::read_back(0, 0, mnw.window_dx, mnw.window_dy);
    g_shown.titles.push_back(stls.window_title);
    if (g_inside_alert) g_inside_alert();
  }
  OGL_sbuff();
}

struct AlertWindow : fly_test::GlTest {
  void SetUp() override {
    fly_test::GlTest::SetUp();
    g_alert_intercept = nullptr;
    g_shown = shown();
    g_inside_alert = nullptr;
    ogl_inited = 1;
    MACIBM_alert_window = MACIBM_alert_gl_window;
    KEYS_install_hooks();
    shell_hooks.swap = watching_swap;
    fly_test::run_frames(1);
  }
  void TearDown() override {
    MACIBM_reset_hooks();
    keys_hooks = {nullptr, nullptr};
    MACIBM_alert_window = nullptr;
    ogl_inited = 0;
    fly_test::GlTest::TearDown();
  }
  static void press_return() { fly_test::script_key(SDLK_RETURN); }
};

bool any_file_named(const std::string& folder, const std::string& suffix) {
  DIR* d = opendir(folder.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
      found = true;
    if (e->d_type == DT_DIR && any_file_named(folder + "/" + n, suffix)) found = true;
  }
  closedir(d);
  return found;
}
}  // namespace

TEST_F(AlertWindow, ReturnAcknowledgesClearsTheFlagAndPutsTheMouseBack) {
  fly_test::script_move(123, 321);
  fly_test::run_frames(1);
  const float mx = mnw.mouse_x, my = mnw.mouse_y;
  press_return();
  fly_test::script_move(400, 300);  // moves while the alert is up
  __MACIBM_alert(0, "first", "second", "third", "fourth", t_alert, "src/a.cpp", 12);
  EXPECT_GE(g_shown.frames_994, 1);
  EXPECT_EQ(g_shown.titles.front(), "BE ADVISED");
  EXPECT_EQ(mnw.window_type, 0);
  EXPECT_EQ(return_hit, 0);
  EXPECT_EQ(mnw.mouse_x, mx);
  EXPECT_EQ(mnw.mouse_y, my);
  EXPECT_THAT(fly_test::log_text(),
              HasSubstr("recursive_error)\n\nfirst\nsecond\nthird\nfourth\n(src/a.cpp line 12)\n"));

  // The screen of that alert: the window, the panel, its lines and button.
  const std::vector<uint8_t>& px = g_shown.first_frame;
  ASSERT_EQ(px.size(), 800u * 600u * 4u);
  const auto at = [&px](int x, int y) {
    const uint8_t* p = &px[(static_cast<size_t>(y) * 800 + x) * 4];
    return (p[0] << 16) | (p[1] << 8) | p[2];
  };
  const auto colours_in = [&](int x1, int y1, int x2, int y2) {
    std::vector<int> seen;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) {
        const int c = at(x, y);
        if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
      }
    return seen.size();
  };
  // The panel sits at (190, 175), 420 by 250 pixels: each text line and the
  // button row hold more than one colour; the outside is the plain back.
  for (int line_y : {205, 165, 125, 85})
    EXPECT_GT(colours_in(300, 175 + line_y - 12, 500, 175 + line_y + 4), 2u) << line_y;
  EXPECT_GT(colours_in(360, 175 + 8, 440, 175 + 28), 2u);  // the button
  EXPECT_EQ(colours_in(0, 0, 150, 150), 1u);
  EXPECT_NE(at(400, 175 + 150), at(50, 50));
}

TEST_F(AlertWindow, EmptyLinesShowNothingButLog) {
  const long frames = MACIBM_frame_count;
  __MACIBM_alert(0, "", "", "", "", t_alert, "src/e.cpp", 4);
  EXPECT_EQ(MACIBM_frame_count, frames);
  EXPECT_EQ(g_shown.frames_994, 0);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("recursive_error)\n\n\n\n\n\n(src/e.cpp line 4)\n"));
}

TEST_F(AlertWindow, TheLanguageQuestionAcceptsWithReturnAndLogsNothing) {
  press_return();
  press_return();
  mnw.language = 0;
  __MACIBM_alert(-1, "-", "-", "-", "-", t_language, "GenC/hl_init", 1767);
  ASSERT_GE(g_shown.titles.size(), 1u);
  EXPECT_EQ(g_shown.titles.back(), "Language/");
  EXPECT_EQ(mnw.window_type, -1);  // until the next frame opens window 0
  EXPECT_EQ(fly_test::log_text().find("dump_mem_stats"), std::string::npos);
}

TEST_F(AlertWindow, AQuitRequestEndsTheAlert) {
  fly_test::script_close();
  __MACIBM_alert(0, "q", "", "", "", t_alert, "src/q.cpp", 1);
  EXPECT_EQ(app_done, 1);
  EXPECT_EQ(mnw.window_type, 0);
  app_done = 0;
}

TEST_F(AlertWindow, AWorkersAlertIsShownInTheNextMainFrame) {
  THREAD_init();
  pthread_t t, j, i;
  UTL_thread_create(
      [](void*) -> void* {
        __MACIBM_alert(0, "from a worker", "", "", "", t_alert, "w.cpp", 8);
        return nullptr;
      },
      nullptr, &t, &j, &i);
  UTL_thread_join(&t, &j);
  EXPECT_EQ(g_shown.frames_994, 0);  // nothing on the worker's side
  // A Return in the frame that reports it does not acknowledge the alert
  // unseen; one while it is up does.
  press_return();
  g_inside_alert = [] {
    if (g_shown.frames_994 == 1) press_return();
  };
  fly_test::run_frames(1);
  EXPECT_GE(g_shown.frames_994, 1);
  EXPECT_THAT(fly_test::log_text(), HasSubstr("\nfrom a worker\n\n\n\n(w.cpp line 8)\n"));
  THREAD_shutdown();
}

// The child process of a death test opens its own window: a context does not
// survive a fork.
struct FatalAlertWindow : ::testing::Test {
  static void open() {
    struct child_window : AlertWindow {
      void TestBody() override {}
      void open() { AlertWindow::SetUp(); }
    } w;
    w.open();
  }
};

TEST_F(FatalAlertWindow, AnAlertInsideTheAlertGoesToTheSystemBoxAndExits) {
  MACIBM_system_alert = [](const std::string& a, const std::string& b, const std::string&,
                           const std::string&) { fprintf(stderr, "box: %s %s\n", a.c_str(), b.c_str()); };
  EXPECT_EXIT(
      {
        open();
        g_inside_alert = [] { __MACIBM_alert(0, "inner", "two", "", "", t_alert, "in.cpp", 2); };
        __MACIBM_alert(0, "outer", "", "", "", t_alert, "out.cpp", 1);
      },
              ::testing::ExitedWithCode(1), "box: inner two");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("\ninner\ntwo\n\n\n(in.cpp line 2)\n"));
}

TEST_F(FatalAlertWindow, AFatalAlertShowsItsPlaceThenEndsTheProgram) {
  EXPECT_EXIT(
      {
        open();
        fly_test::script_key(SDLK_RETURN);
        __MACIBM_alert(0, "fatal", "", "", "", t_exit, "src/f.cpp", 99);
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("\nfatal\n\n\n\n(src/f.cpp line 99)\n"));
  EXPECT_TRUE(fly_test::file_exists("stack_crawl.txt"));
}

TEST_F(AlertWindow, FpsTestFatalOnlyLogsCrawlsAndExitsWithoutPreferences) {
  const char* argv[] = {"prog", "--fps_test"};
  cmdline.init_unix(2, argv);
  fly_test::write_file("stack_crawl.txt", "before\n");
  EXPECT_EXIT(__MACIBM_alert(0, "l1", "l2", "l3", "l4", t_exit, "src/t.cpp", 7),
              ::testing::ExitedWithCode(1), "");
  EXPECT_THAT(fly_test::log_text(), HasSubstr("l1\nl2\nl3\nl4\n(src/t.cpp line 7)\n"));
  const std::string crawl = fly_test::read_file("stack_crawl.txt");
  EXPECT_EQ(crawl.rfind("before\n  0) __MACIBM_alert(", 0), 0u) << crawl;
  EXPECT_FALSE(any_file_named(fly_test::sandbox() + "home", ".prf"));
}

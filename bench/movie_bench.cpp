// Frame time with the movie recorder on against off, 800 x 600 window and
// movie: each frame paints the window picture (standing in for the drawing)
// and, while recording, hands it to the recorder, whose copy and compression
// run off the main thread. Target: recording costs at most 1.5x.
//
// A second run does the same through the window: an 800 x 600 scene drawn
// each frame, read back by the recorder through GL (the rows the movie's
// filter weighs, mixed to movie size on the CPU; a pixel-pack buffer where
// there is one) at the window's width and at 320, against a plain swap:
// paced at 60 Hz as the program draws, where the recorder's threads work in
// the rest of each tick, then back to back. Without a display it runs itself under
// Xvfb, as the program's window is on X.
//
//   bench_movie_bench [--frames N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "GenH/mnw.h"
#include "GenH/movie_gl.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_sys.h"
#include "Linux/lin_window.h"
#include "UTL/resource.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_draw.h"
#include "OGL/ogl_ext.h"
#include "OGL/ogl_state.h"
#include "OGL/ren.h"
#include "OOPS_cpp/qtim.h"
#include "bench_util.h"

namespace {
double g_now = 0.0;

void paint(std::vector<unsigned char>& px, int dx, int dy, int frame) {
  for (int y = 0; y < dy; ++y) {
    unsigned char* row = &px[static_cast<size_t>(y) * dx * 4];
    for (int x = 0; x < dx; ++x) {
      row[x * 4 + 0] = static_cast<unsigned char>(x + frame);
      row[x * 4 + 1] = static_cast<unsigned char>(y * 2 + frame);
      row[x * 4 + 2] = static_cast<unsigned char>((x ^ y) + frame * 3);
      row[x * 4 + 3] = 255;
    }
  }
}

double thread_cpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Seconds per frame over frames frames at 60 Hz of program time; *cpu the
// main thread's own processor time per frame.
double run(int frames, bool record, std::vector<unsigned char>& px, double* cpu) {
  g_now = 0.0;
  if (record) qtim.mov_toggle(1);
  const double c0 = thread_cpu();
  const auto t0 = std::chrono::steady_clock::now();
  for (int f = 0; f < frames; ++f) {
    g_now = (f + 1) / 60.0;
    paint(px, 800, 600, f);
    if (record) qtim.mov_add_frame(px.data());
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  *cpu = (thread_cpu() - c0) / frames;
  if (record)
    while (qtim.state) {  // the stop waits for the frames in flight, after the timing
      g_now += 1.0 / 60.0;
      qtim.mov_toggle(0);
      qtim.mov_add_frame(px.data());
    }
  return s / frames;
}
// A scene of many quads, so the frame has drawing to do.
void draw_scene(int frame) {
  gl.ClearColor(0.1f, 0.2f, 0.3f, 1);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  gl.MatrixMode(GL_PROJECTION);
  gl.LoadIdentity();
  gl.Ortho(0, 800, 0, 600, -1, 1);
  gl.MatrixMode(GL_MODELVIEW);
  gl.LoadIdentity();
  OGL_setstate(1, 0, 3, 4, 9, 11);
  gl.Begin(GL_QUADS);
  for (int i = 0; i < 400; ++i) {
    const float x = static_cast<float>((i * 37 + frame * 3) % 780), y = static_cast<float>((i * 53) % 580);
    gl.Color3f((i % 7) / 7.0f, (i % 5) / 5.0f, (i % 3) / 3.0f);
    gl.Vertex2f(x, y);
    gl.Vertex2f(x, y + 20);
    gl.Vertex2f(x + 20, y + 20);
    gl.Vertex2f(x + 20, y);
  }
  gl.End();
}

// Back to back, or paced (one frame a 60 Hz tick, the rest of the tick
// slept as the program's frame loop does; the time is then the frame's own,
// from its start to its swap).
double run_gl(int frames, bool record, double* cpu, bool paced = false) {
  g_now = 0.0;
  if (record) qtim.mov_toggle(1);
  const double c0 = thread_cpu();
  const auto t0 = std::chrono::steady_clock::now();
  double busy = 0;
  for (int f = 0; f < frames; ++f) {
    g_now = (f + 1) / 60.0;
    const auto b0 = std::chrono::steady_clock::now();
    draw_scene(f);
    if (!(record && qtim.mov_per_frame())) shell_hooks.swap();
    if (!paced) continue;
    gl.Finish();
    busy += std::chrono::duration<double>(std::chrono::steady_clock::now() - b0).count();
    std::this_thread::sleep_until(t0 + std::chrono::microseconds(1000000 * (f + 1) / 60));
  }
  gl.Finish();
  const double s = paced ? busy : std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  *cpu = (thread_cpu() - c0) / frames;
  if (record)
    while (qtim.state) {
      g_now += 1.0 / 60.0;
      qtim.mov_toggle(0);
      draw_scene(0);
      if (!qtim.mov_per_frame()) shell_hooks.swap();
    }
  return s / frames;
}

// The window run; 0 when there is no window to draw in.
int gl_bench(int frames) {
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  // The indicator's font among the build's resources, beside the bench folder.
  const std::string exe = LIN_exe_path();
  UTL_set_resource_folder(exe.substr(0, exe.find_last_of('/') + 1) + "../app/Resources/");
  LIN_set_screen_override(1024, 768);
  mnw.x_res = 800;
  mnw.y_res = 600;
  mnw.req_depth = 32;
  MACIBM_setres(1);
  if (!MACIBM_make_context(0)) {
    fprintf(stderr, "no OpenGL window: %s\n", LIN_last_error());
    return 0;
  }
  MACIBM_init_drawing();
  MOV_install_hooks();
  qtim_hooks.now = [] { return g_now; };
  double cpu = 0;
  run_gl(60, false, &cpu);
  printf("through GL (%s, pixel-pack buffer %s):\n", ren.gl_renderer ? ren.gl_renderer : "?",
         glExt.pbo_avail ? "on" : "off");
  // Recording off, at the window's width and at the recorder's standard one,
  // in turns over five rounds, so that a machine growing slower or faster
  // during the run weighs on all three alike.
  const int rounds = 5, per_run = std::max(frames / rounds, 30);
  const int widths[] = {0, 800, 320};
  for (bool paced : {true, false}) {
    double time[3] = {}, own[3] = {};
    int captured[3] = {};
    for (int r = 0; r < rounds; ++r)
      for (int k = 0; k < 3; ++k) {
        if (widths[k]) qtim.movie_dx = widths[k];
        time[k] += run_gl(per_run, widths[k] != 0, &cpu, paced);
        own[k] += cpu;
        if (widths[k]) captured[k] += qtim.frames_sent;
      }
    // Paced is how the program draws: one frame a tick, the recorder's
    // threads working in the rest of it. Back to back every core is busy
    // drawing, so the encoder's work lands on the frames.
    printf("  %s:\n", paced ? "paced at 60 Hz (the frame's own time, start to swap)"
                            : "back to back (every core busy; for comparison)");
    for (int k = 1; k < 3; ++k)
      printf("    %d pixels wide: recording off %.3f ms, on %.3f ms, ratio %.2f%s; main "
             "thread's own time %.3f against %.3f ms; %d of %d frames captured\n",
             widths[k], time[0] / rounds * 1e3, time[k] / rounds * 1e3, time[k] / time[0],
             paced ? " (target <= 1.5)" : "", own[k] / rounds * 1e3, own[0] / rounds * 1e3,
             captured[k], rounds * per_run / 3);
  }
  MACIBM_nuke_context(0);
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  bench::rerun_under_xvfb(argv);
  int frames = 600;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--frames") frames = atoi(argv[i + 1]);
  bench::scratch dir("movie");
  if (chdir(dir.path().c_str()) != 0) return 1;
  mnw.window_dx = 800;
  mnw.window_dy = 600;
  qtim.movie_dx = 800;
  qtim_hooks.now = [] { return g_now; };
  std::vector<unsigned char> px(800u * 600u * 4u);

  double cpu_off = 0, cpu_on = 0;
  run(60, false, px, &cpu_off);  // warm up
  const double off = run(frames, false, px, &cpu_off);
  const double on = run(frames, true, px, &cpu_on);
  qtim.stop_thread();
  const std::string size = bench::shell_out("stat -c %s 'Flyvane movie take-1.mov'");
  printf("frame time, recording off: %.3f ms\n", off * 1e3);
  printf("frame time, recording on : %.3f ms (%d frames, 20 fps movie of %s bytes)\n", on * 1e3,
         frames, size.c_str());
  printf("ratio on/off: %.2f (target <= 1.5); main thread's own time: %.3f against %.3f ms, "
         "ratio %.2f\n",
         on / off, cpu_on * 1e3, cpu_off * 1e3, cpu_on / cpu_off);
  return gl_bench(frames) ? 0 : 1;
}

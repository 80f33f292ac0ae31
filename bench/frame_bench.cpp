// Idle frames of the empty program window at 800x600 (llvmpipe without a
// display): 600 frames of the shell's frame loop against 600 of a bare loop
// over the same window layer (wait up to 16 ms for an event, clear, swap) in
// the same run. Prints frames per second, CPU seconds per second of wall time
// and the ratios.
//
//   bench_frame_bench [--frames N]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "GenH/mnw.h"
#include "GenH/shell.h"
#include "GenH/window.h"
#include "Linux/lin_window.h"
#include "OGL/gl_calls.h"
#include "OGL/ogl_ext.h"
#include "OGL/ren.h"

namespace {
double cpu_seconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct result {
  double fps, cpu_per_wall;
};

result measure(int frames, const std::function<void()>& frame) {
  for (int i = 0; i < 20; ++i) frame();  // warm up
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpu_seconds();
  for (int i = 0; i < frames; ++i) frame();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return {frames / wall, (cpu_seconds() - c0) / wall};
}

void bare_frame() {
  LIN_event_record e;
  int wait = 16;
  while (LIN_next_event(&e, wait)) wait = 0;
  gl.ClearColor(0, 0, 0, 1);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  LIN_swap_buffers();
}
}  // namespace

int main(int argc, char** argv) {
  int frames = 600;
  for (int i = 1; i + 1 < argc; ++i)
    if (strcmp(argv[i], "--frames") == 0) frames = atoi(argv[i + 1]);
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 1);

  LIN_set_screen_override(1024, 768);
  mnw.x_res = 800;
  mnw.y_res = 600;
  mnw.req_depth = 32;
  MACIBM_setres(1);
  if (!MACIBM_make_context(0)) {
    fprintf(stderr, "no OpenGL window: %s\n", LIN_last_error());
    return 1;
  }
  shell_hooks.pix_specs(0);
  glExt.init_extensions();

  const result shell = measure(frames, MACIBM_event_proc);
  const result bare = measure(frames, bare_frame);
  printf("idle frames, 800x600, %s\n", ren.gl_renderer ? ren.gl_renderer : "?");
  printf("  shell frame loop: %7.1f frames/s  %5.3f CPU s per s\n", shell.fps, shell.cpu_per_wall);
  printf("  bare SDL loop   : %7.1f frames/s  %5.3f CPU s per s\n", bare.fps, bare.cpu_per_wall);
  printf("  ratio (shell/bare): %.3f frame rate, %.3f CPU\n", shell.fps / bare.fps,
         bare.cpu_per_wall > 0 ? shell.cpu_per_wall / bare.cpu_per_wall : 0.0);
  MACIBM_nuke_context(0);
  return 0;
}

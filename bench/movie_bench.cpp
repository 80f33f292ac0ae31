// Frame time with the movie recorder on against off, 800 x 600 window and
// movie: each frame paints the window picture (standing in for the drawing)
// and, while recording, hands it to the recorder, whose copy and compression
// run off the main thread. Target: recording costs at most 1.5x.
//
//   bench_movie_bench [--frames N]
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "GenH/mnw.h"
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
}  // namespace

int main(int argc, char** argv) {
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
  return 0;
}

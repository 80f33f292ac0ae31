// What a still screen costs: the real program under Xvfb with Mesa's
// llvmpipe, left alone on the welcome screen, on the scenery map and on the
// destination screen with the caret in its Install Name field, its CPU
// seconds per wall second from /proc over a window after a settling pause,
// beside the same figure with every frame drawn (FLY_DRAW_EVERY_FRAME=1).
// The map's frame time is measured too, drawing every frame and holding
// still frames back (the script runs one "sleep 0" a frame).
//
//   bench_idle_bench [--seconds S] [--settle S] [--keep]
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench_util.h"

using bench::build_dir;
using bench::count_lines;
using bench::now_s;
using bench::q;
using bench::run_shell;

namespace {
const std::string kName = "Bench Release";

void sleep_s(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// CPU seconds (user + system, all threads) of the processes in group pgid
// whose command name starts with name.
double cpu_of(pid_t pgid, const std::string& name) {
  double total = 0;
  DIR* d = opendir("/proc");
  if (!d) return 0;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string s;
    std::getline(in, s);
    const size_t open = s.find('('), close = s.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    if (s.compare(open + 1, name.size(), name) != 0) continue;
    std::istringstream rest(s.substr(close + 2));
    std::string state;
    long ppid, pgrp, field;
    rest >> state >> ppid >> pgrp;
    if (pgrp != pgid) continue;
    double utime = 0, stime = 0;
    for (int f = 6; f <= 15; ++f) {  // fields 6..13 then utime (14) and stime (15)
      rest >> field;
      if (f == 14) utime = static_cast<double>(field);
      if (f == 15) stime = static_cast<double>(field);
    }
    total += (utime + stime) / tick;
  }
  closedir(d);
  return total;
}

struct program_run {
  pid_t pid = -1;
  std::string root, trace;
};

program_run start(const std::string& work, const std::string& tag, const std::string& script,
                  const std::string& disc, bool every_frame, bool trace) {
  program_run r;
  r.root = work + tag + "/";
  r.trace = trace ? r.root + "trace.txt" : "";
  r.pid = bench::start_installer(r.root, script, disc,
                                 {{"FLY_TRACE", r.trace},
                                  {"FLY_DRAW_EVERY_FRAME", every_frame ? "1" : ""}});
  return r;
}

bool alive(const program_run& r) {
  int st;
  return waitpid(r.pid, &st, WNOHANG) == 0;
}

void stop(program_run& r) {
  kill(-r.pid, SIGTERM);
  int st;
  for (int i = 0; i < 300 && waitpid(r.pid, &st, WNOHANG) == 0; ++i) sleep_s(0.01);
  kill(-r.pid, SIGKILL);
  waitpid(r.pid, &st, 0);
}

const char* kWelcome = "wait Welcome to the Flyvane 9 Installer 60\n";
const char* const kToMap = bench::k_script_to_map;
// A click into the field leaves a caret, which blinks, rather than a selection.
const char* kFieldFocused =
    "wait Welcome to the Flyvane 9 Installer 60\n"
    "click Continue\n"
    "wait dvd_pick_install 30\n"
    "sleep 0.3\n"
    "click -Install Name:\n"
    "sleep 0.3\n";

struct idle_figure {
  double program = -1, xserver = -1;
};

// The script reaches the screen, takes a screenshot (the sign it is there)
// and sleeps; after the settling pause the CPU is sampled over `seconds`.
idle_figure idle_cpu(const std::string& work, const std::string& tag, const char* to_screen,
                     const std::string& disc, bool every_frame, double settle, double seconds) {
  const std::string shot = work + tag + ".png";
  remove(shot.c_str());
  // The script ends at the screen, as a user stops touching the program.
  program_run r = start(work, tag, std::string(to_screen) + "screenshot " + shot + "\n", disc,
                        every_frame, false);
  idle_figure f;
  const double t0 = now_s();
  while (!bench::exists(shot) && alive(r) && now_s() - t0 < 120) sleep_s(0.05);
  if (bench::exists(shot) && alive(r)) {
    sleep_s(settle);
    const double p0 = cpu_of(r.pid, "flyvane_instal"), x0 = cpu_of(r.pid, "Xvfb"), w0 = now_s();
    sleep_s(seconds);
    const double p1 = cpu_of(r.pid, "flyvane_instal"), x1 = cpu_of(r.pid, "Xvfb"), w1 = now_s();
    f.program = (p1 - p0) / (w1 - w0);
    f.xserver = (x1 - x0) / (w1 - w0);
  } else {
    fprintf(stderr, "%s: the screen never came (see %s)\n", tag.c_str(), r.root.c_str());
  }
  stop(r);
  return f;
}

// Milliseconds a frame of the map, over `frames` one-frame script commands.
double map_frame_ms(const std::string& work, const std::string& tag, const std::string& disc,
                    bool every_frame, int frames) {
  std::string spin = std::string(kToMap) + "sleep 1\n";
  // "sleep 0.000": the way to the map traces "script sleep 0.3" and
  // "script sleep 0.5", which "sleep 0" would count as frames.
  for (int i = 0; i < frames; ++i) spin += "sleep 0.000\n";
  spin += "quit\n";
  program_run r = start(work, tag, spin, disc, every_frame, true);
  double ms = -1, a = -1;
  const double t0 = now_s();
  while (alive(r) && now_s() - t0 < 180) {
    const size_t n = count_lines(r.trace, "script sleep 0.000");
    if (n >= 1 && a < 0) a = now_s();
    if (n >= static_cast<size_t>(frames)) {
      ms = (now_s() - a) * 1000.0 / (frames - 1);
      break;
    }
    sleep_s(0.002);
  }
  stop(r);
  return ms;
}
}  // namespace

int main(int argc, char** argv) {
  double seconds = 10, settle = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) seconds = atof(argv[++i]);
    if (a == "--settle" && i + 1 < argc) settle = atof(argv[++i]);
    if (a == "--keep") keep = true;
  }
  const bench::scratch tmp("idle-bench", keep, bench::tmp_root());
  const std::string work = tmp.path();
  printf("making a small release and its disc in %s\n", work.c_str());
  fflush(stdout);
  run_shell("python3 " + q(bench::corpus_script()) + " --release --prepack-7z --scale 0.05 " +
            q(work + "master") + " > /dev/null");
  run_shell("cd " + q(work) + " && " + q(build_dir() + "/tools/make_release") +
            " --type=disc --master=" + q(work + "master") + " --out=" + q(work + "discs") +
            " --name=" + q(kName) + " --log=" + q(work + "make_release.log") + " > /dev/null 2>&1");
  const std::string disc = work + "discs/disk_0/";

  printf("CPU seconds per wall second over %.0f s after %.0f s of settling "
         "(program; its X server in brackets):\n", seconds, settle);
  for (const auto& [name, script] : {std::pair<const char*, const char*>{"welcome", kWelcome},
                                     {"map", kToMap},
                                     {"field", kFieldFocused}}) {
    const idle_figure on = idle_cpu(work, std::string(name) + "-held", script, disc, false,
                                    settle, seconds);
    const idle_figure off = idle_cpu(work, std::string(name) + "-drawn", script, disc, true,
                                     settle, seconds);
    printf("  %-8s still frames held back %6.3f (%5.3f)   every frame drawn %6.3f (%5.3f)"
           "   (target <= 0.05)\n",
           name, on.program, on.xserver, off.program, off.xserver);
    fflush(stdout);
  }
  const int frames = 300;
  const double held = map_frame_ms(work, "map-frames-held", disc, false, frames);
  const double drawn = map_frame_ms(work, "map-frames-drawn", disc, true, frames);
  printf("map frame time over %d frames: %.2f ms drawing every frame, %.2f ms holding still "
         "frames back\n", frames, drawn, held);
  return held > 0 && drawn > 0 ? 0 : 1;
}

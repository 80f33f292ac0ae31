// The wizard as a user meets it: the real program, scripted (FLY_SCRIPT),
// under Xvfb with Mesa's llvmpipe, on a one-disc release the release builder
// made from a make-corpus.py --release --prepack-7z master:
//   install: from the Continue on the scenery screen (all tiles) to the
//            finish text, against the engine's headless make_dirs +
//            install_files of the same disc, polled as install_bench does;
//   map:     frames per second of the world-map screen at 800x600 (the
//            script runs one command per frame: the trace's "script sleep 0.000"
//            lines count frames);
//   start:   from exec to the first traced wizard screen.
//
//   bench_wizard_bench [--scale S] [--runs N] [--keep]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "Installer-f/directory.h"
#include "Installer-f/install_step.h"
#include "Installer-f/selection.h"
#include "Installer-f/utils.h"
#include "bench_util.h"

using bench::q;
using bench::run_shell;

namespace {
const std::string kName = "Bench Release";

// The build folder: this program runs from its bench/ folder.
std::string build_dir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string p(buf, n > 0 ? static_cast<size_t>(n) : 0);
  for (int i = 0; i < 2; ++i) p = p.substr(0, p.rfind('/'));
  return p;
}

double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

size_t count_lines(const std::string& path, const std::string& text) {
  std::ifstream in(path);
  size_t n = 0;
  for (std::string l; std::getline(in, l);) n += l.find(text) != std::string::npos;
  return n;
}

struct program_run {
  pid_t pid = -1;
  std::string trace;
  double started = 0;
};

// The installer under its own Xvfb (xvfb-run -a), in a fresh HOME.
program_run start(const std::string& work, const std::string& tag, const std::string& script,
                  const std::string& disc) {
  const std::string root = work + tag + "/", home = root + "home/";
  run_shell("rm -rf " + q(root) + " && mkdir -p " + q(home + "Desktop") + " " +
            q(home + ".config") + " " + q(root + "tmp") + " " + q(root + "vol") + " && ln -s " +
            q(disc) + " " + q(root + "vol/BENCH_1"));
  std::ofstream(root + "script.txt") << script;
  program_run r;
  r.trace = root + "trace.txt";
  r.started = now_s();
  r.pid = fork();
  if (r.pid == 0) {
    setpgid(0, 0);
    if (chdir(root.c_str()) != 0) _exit(126);
    if (!freopen((root + "output.txt").c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0)
      _exit(126);
    setenv("HOME", home.c_str(), 1);
    setenv("LANGUAGE", "en", 1);  // a fresh HOME would ask for a language
    setenv("XDG_CONFIG_HOME", (home + ".config").c_str(), 1);
    setenv("TMPDIR", (root + "tmp").c_str(), 1);
    setenv("FLY_MOUNTED_VOLUMES", (root + "vol").c_str(), 1);
    setenv("FLY_TRACE", r.trace.c_str(), 1);
    setenv("FLY_SCRIPT", (root + "script.txt").c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    const std::string prog = build_dir() + "/app/flyvane_installer";
    execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -nolisten tcp",
           prog.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return r;
}

// Seconds from `since` until the trace has `count` lines holding text; -1 on
// the program's end or after limit seconds.
double wait_for(const program_run& r, const std::string& text, size_t count, double since,
                double limit = 300) {
  while (now_s() - since < limit) {
    if (count_lines(r.trace, text) >= count) return now_s() - since;
    int st;
    if (waitpid(r.pid, &st, WNOHANG) == r.pid) return count_lines(r.trace, text) >= count ? now_s() - since : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -1;
}

int finish(program_run& r) {
  int st = 0;
  for (int i = 0; i < 3000; ++i) {
    if (waitpid(r.pid, &st, WNOHANG) == r.pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-r.pid, SIGKILL);
  waitpid(r.pid, &st, 0);
  return -1;
}

const char* kToMap =
    "wait Welcome to the Flyvane 9 Installer 60\n"
    "click Continue\n"
    "wait dvd_pick_install 30\n"
    "sleep 0.3\n"
    "click Continue\n"
    "wait see_eula 30\n"
    "click -I agree!\n"
    "sleep 0.3\n"
    "click Continue\n"
    "wait dvd_scenery_install 30\n"
    "sleep 0.5\n";
}  // namespace

int main(int argc, char** argv) {
  double scale = 1;  // smaller corpora measure the frames around the run, not the run
  int runs = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc) scale = atof(argv[++i]);
    if (a == "--runs" && i + 1 < argc) runs = std::max(1, atoi(argv[++i]));
    if (a == "--keep") keep = true;
  }
  const bench::scratch tmp("wizard-bench", keep, bench::tmp_root());
  const std::string work = tmp.path();
  printf("making the release master (scale %g) and its disc in %s\n", scale, work.c_str());
  fflush(stdout);
  run_shell("python3 " + q(bench::corpus_script()) + " --release --prepack-7z --scale " +
            std::to_string(scale) + " " + q(work + "master") + " > /dev/null");
  run_shell("cd " + q(work) + " && " + q(build_dir() + "/tools/make_release") +
            " --type=disc --master=" + q(work + "master") + " --out=" + q(work + "discs") +
            " --name=" + q(kName) + " --log=" + q(work + "make_release.log") + " > /dev/null 2>&1");
  const std::string disc = work + "discs/disk_0/";
  const std::string files =
      bench::shell_out("unzip -p " + q(disc + kName + "/directory.txt.zip") + " | grep -c '^FILE '");

  // The engine's side: the disc's file list, read anew for each run.
  run_shell("unzip -p " + q(disc + kName + "/directory.txt.zip") + " > " +
            q(work + "directory.txt"));
  stg.target_platform = 1;
  set_install_filter(1, 1);
  dvd_path = disc;
  install_name = kName;
  temp_path = work + "temp/";
  run_shell("mkdir -p " + q(temp_path));

  // Both installs end in a syncfs, whose time depends on what else the disk
  // holds dirty: each run starts synced, and the best of `runs` counts.
  double t_wizard = -1, t_engine = -1;
  int wizard_rc = 0;
  std::string same = "?";
  for (int r = 0; r < runs; ++r) {
    // The wizard: time from the scenery screen's Continue to the finish text.
    run_shell("sync");
    program_run w = start(work, "wizard",
                          std::string(kToMap) +
                              "click Select All\n"
                              "sleep 0.3\n"
                              "click Continue\n"
                              "wait Installation was successful. 900\n"
                              "click Quit\n",
                          disc);
    if (wait_for(w, "script click Select All", 1, w.started, 120) >= 0) {
      const double mark = now_s();
      // The Continue after Select All is the second last "click Continue".
      const size_t before = count_lines(w.trace, "script click Continue");
      if (wait_for(w, "script click Continue", before + 1, mark, 30) >= 0) {
        const double go = now_s();
        const double t = wait_for(w, "Installation was successful.", 1, go, 900);
        if (t >= 0 && (t_wizard < 0 || t < t_wizard)) t_wizard = t;
      }
    }
    wizard_rc |= finish(w);
    std::string wizard_dest = bench::shell_out(
        "find " + q(work + "wizard/home/Desktop") + " -mindepth 1 -maxdepth 1 -type d | head -1");

    // The engine headless on the same disc.
    run_shell("rm -rf " + q(work + "engine-dest") + " && sync");
    if (read_directory(work + "directory.txt", "") != 3) {
      fprintf(stderr, "the directory file was refused\n");
      break;
    }
    scenery_take_all();
    const double t0 = now_s();
    dest_dir_path = work + "engine-dest/";
    choose_files();
    make_dirs();
    int f = 0, s;
    while ((s = install_files(f, 0)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double t = now_s() - t0;
    if (s == 1 && (t_engine < 0 || t < t_engine)) t_engine = t;
    while (!wizard_dest.empty() && wizard_dest.back() == '\n') wizard_dest.pop_back();
    if (!wizard_dest.empty() && s == 1 && same != "NO")
      same = system(("diff -rq --no-dereference -x Output " + q(wizard_dest + "/") + " " +
                     q(work + "engine-dest/") + " > /dev/null")
                         .c_str()) == 0
                 ? "yes"
                 : "NO";
  }

  // The world map's frame rate: 300 one-frame commands once it is up.
  std::string spin = std::string(kToMap) + "sleep 1\n";
  const int frames = 300;
  // "sleep 0.000", not "sleep 0": the trace of the way to the map has
  // "script sleep 0.3" and "script sleep 0.5", which would count as frames.
  for (int i = 0; i < frames; ++i) spin += "sleep 0.000\n";
  spin += "quit\n";
  program_run m = start(work, "map", spin, disc);
  const double first = wait_for(m, "screen ", 1, m.started, 60);
  double fps = -1;
  if (wait_for(m, "script sleep 0.000", 1, m.started, 120) >= 0) {
    const double a = now_s();
    const double t = wait_for(m, "script sleep 0.000", frames, a, 120);
    if (t > 0) fps = (frames - 1) / t;
  }
  const int map_rc = finish(m);

  // Start to the first frame, best of three.
  double t_first = first;
  for (int i = 0; i < 3; ++i) {
    program_run s = start(work, "first" + std::to_string(i), "wait dvd_start 30\nquit\n", disc);
    const double t = wait_for(s, "screen ", 1, s.started, 60);
    if (t >= 0 && (t_first < 0 || t < t_first)) t_first = t;
    finish(s);
  }

  printf("one disc, %s files in its list; program exit codes: install %d, map %d\n",
         files.substr(0, files.find('\n')).c_str(), wizard_rc, map_rc);
  printf("  wizard install (Continue on the map to the finish text) %8.3f s (best of %d)\n", t_wizard, runs);
  printf("  engine make_dirs + install_files, headless              %8.3f s (best of %d)\n", t_engine, runs);
  printf("  installed trees equal: %s\n", same.c_str());
  printf("ratio wizard / engine install: %.3f  (target <= 1.1)\n",
         t_engine > 0 ? t_wizard / t_engine : -1.0);
  printf("world map at 800x600 (llvmpipe): %.1f frames per second over %d frames\n", fps, frames);
  printf("start to the first wizard frame: %.3f s (best of four)\n", t_first);
  return t_wizard > 0 && t_engine > 0 && fps > 0 ? 0 : 1;
}

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
//   bench_wizard_bench [--scale S] [--runs N] [--settle S] [--keep]
//
// On ext4 without a journal, making a file passes over every inode of its
// group freed in the last minute, or in the last six once the inode table
// block holding it is written again, each looked up in the inode table. Right
// after an earlier benchmark's clean-up (tens of thousands of files), the
// unpack threads queue on their folder's lock behind that search, and an
// install takes up to twice as long on whichever side meets it. There the
// benchmark lets --settle seconds (370 unless given) pass from its start
// before its first install; elsewhere it does not wait.
// On a virtual machine whose host backs memory only once it is touched, the
// page cache of a later run may take memory never touched before, several
// times slower to fill: a later run can take twice as long. On tmpfs the
// benchmark removes each run's trees once compared, so that the next run
// reuses their memory.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
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

#include "GenH/shell.h"
#include "Installer-f/directory.h"
#include "Installer-f/install_step.h"
#include "Installer-f/selection.h"
#include "Installer-f/utils.h"
#include "bench_util.h"

using bench::build_dir;
using bench::count_lines;
using bench::now_s;
using bench::q;
using bench::run_shell;

namespace {
const std::string kName = "Bench Release";

struct program_run {
  pid_t pid = -1;
  std::string trace;
  double started = 0;
};

// The installer under its own Xvfb, in a fresh HOME.
program_run start(const std::string& work, const std::string& tag, const std::string& script,
                  const std::string& disc, bool every_frame = false) {
  program_run r;
  r.trace = work + tag + "/trace.txt";
  r.pid = bench::start_installer(work + tag + "/", script, disc,
                                 {{"FLY_TRACE", r.trace},
                                  {"FLY_DRAW_EVERY_FRAME", every_frame ? "1" : ""}},
                                 &r.started);
  return r;
}

// Seconds from `since` until the trace has `count` lines holding text; -1 on
// the program's end or after limit seconds. The trace is read only when it
// grew, so that the polling takes no processor from the install it times.
double wait_for(const program_run& r, const std::string& text, size_t count, double since,
                double limit = 300) {
  off_t read_at = -1;  // the trace's size when last counted: it is read again only once it grew
  while (now_s() - since < limit) {
    struct stat info;
    const off_t size = stat(r.trace.c_str(), &info) == 0 ? info.st_size : 0;
    if (size != read_at) {
      read_at = size;
      if (count_lines(r.trace, text) >= count) return now_s() - since;
    }
    int st;
    if (waitpid(r.pid, &st, WNOHANG) == r.pid) return count_lines(r.trace, text) >= count ? now_s() - since : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return -1;
}

// Whether folder is on ext4 without a journal: its device has an entry in
// /proc/fs/ext4 but none in /proc/fs/jbd2.
bool ext4_without_journal(const std::string& folder) {
  struct statfs fs;
  struct stat st;
  if (statfs(folder.c_str(), &fs) != 0 || fs.f_type != 0xEF53 || stat(folder.c_str(), &st) != 0)
    return false;
  const std::string id =
      std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) + " ";
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    // "36 35 98:0 / /mnt rw,noatime shared:1 - ext4 /dev/vda rw": the device
    // is the third field, the source follows the type after the " - ".
    const size_t at = line.find(' ', line.find(' ') + 1);
    if (at == std::string::npos || line.compare(at + 1, id.size(), id) != 0) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream rest(line.substr(dash + 3));
    std::string type, source;
    rest >> type >> source;
    const std::string dev = source.substr(source.rfind('/') + 1);
    if (type != "ext4" || dev.empty() || !bench::exists("/proc/fs/ext4/" + dev)) return false;
    return bench::shell_out("ls /proc/fs/jbd2 2>/dev/null | grep -c '^" + dev + "-'") == "0";
  }
  return false;
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

const char* const kToMap = bench::k_script_to_map;
}  // namespace

int main(int argc, char** argv) {
  double scale = 1;  // smaller corpora measure the frames around the run, not the run
  int runs = 3;
  bool keep = false;
  double settle = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--scale" && i + 1 < argc) scale = atof(argv[++i]);
    if (a == "--runs" && i + 1 < argc) runs = std::max(1, atoi(argv[++i]));
    if (a == "--settle" && i + 1 < argc) settle = std::max(0.0, atof(argv[++i]));
    if (a == "--keep") keep = true;
  }
  const double began = now_s();
  const bench::scratch tmp("wizard-bench", keep, bench::tmp_root());
  const std::string work = tmp.path();
  if (settle < 0) settle = ext4_without_journal(work) ? 370 : 0;
  struct statfs work_fs;
  const bool in_memory = statfs(work.c_str(), &work_fs) == 0 && work_fs.f_type == 0x01021994;
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
  stg.target_platform = 3;  // as the program starts on Linux
  g_case_sensitive = 1;  // as the program finds a Linux volume: names are case-repaired
  set_install_filter(1, 1);
  dvd_path = disc;
  install_name = kName;

  if (settle > 0) {
    const double left = std::max(0.0, began + settle - now_s());
    printf("letting %.0f s pass from the start before the first install (ext4 without a journal, or --settle)\n",
           left);
    fflush(stdout);
    std::this_thread::sleep_for(std::chrono::duration<double>(left));
  }

  // Both installs end in a syncfs, whose time depends on what else the disk
  // holds dirty: each run starts synced, and the best of `runs` counts. On a
  // disk no tree is removed between runs (on a disk mounted with discard, a
  // removal goes on slowing the disk after its sync): each run has its own
  // folder.
  // The two take turns at going first, so that a disk that grows slower over
  // the runs, or a file system that makes a new file dearer after many were
  // deleted (ext4 without a journal), weighs on both alike.
  double t_wizard = -1, t_engine = -1;
  int wizard_rc = 0;
  std::string same = "?";
  for (int r = 0; r < runs; ++r) {
    const std::string wizard_tag = "wizard-" + std::to_string(r);
    // The engine's folders are made for each run as the wizard's are: a
    // temporary folder and a desktop of its own.
    const std::string engine_root = work + "engine-" + std::to_string(r) + "/";
    const std::string engine_dest = engine_root + "home/Desktop/" + kName + "/";
    // The wizard: time from the scenery screen's Continue to the finish text.
    double run_wizard = -1;
    std::string wizard_dest;
    auto wizard_run = [&] {
      run_shell("sync");
      program_run w = start(work, wizard_tag,
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
          run_wizard = t;
        }
      }
      wizard_rc |= finish(w);
      wizard_dest = bench::shell_out("find " + q(work + wizard_tag + "/home/Desktop") +
                                     " -mindepth 1 -maxdepth 1 -type d | head -1");
      while (!wizard_dest.empty() && wizard_dest.back() == '\n') wizard_dest.pop_back();
    };
    // The engine headless on the same disc.
    double run_engine = -1;
    int s = 0;
    auto engine_run = [&] {
      temp_path = engine_root + "tmp/";
      run_shell("mkdir -p " + q(engine_root + "home/Desktop") + " " + q(temp_path) + " && sync");
      if (read_directory(work + "directory.txt", "") != 3) {
        fprintf(stderr, "the directory file was refused\n");
        return;
      }
      scenery_take_all();
      const double t0 = now_s();
      dest_dir_path = engine_dest;
      choose_files();
      make_dirs();
      int f = 0;
      while ((s = install_files(f, 0)) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      run_engine = now_s() - t0;
      if (s == 1 && (t_engine < 0 || run_engine < t_engine)) t_engine = run_engine;
    };
    if (r % 2) {
      engine_run();
      wizard_run();
    } else {
      wizard_run();
      engine_run();
    }
    printf("  run %d: wizard %.3f s, engine %.3f s%s\n", r, run_wizard, run_engine,
           r % 2 ? " (engine first)" : "");
    fflush(stdout);
    if (!wizard_dest.empty() && s == 1 && same != "NO")
      same = system(("diff -rq --no-dereference -x Output " + q(wizard_dest + "/") + " " +
                     q(engine_dest) + " > /dev/null")
                         .c_str()) == 0
                 ? "yes"
                 : "NO";
    // In memory the trees go once compared: a later run's files then reuse
    // pages already backed (see above), as the first runs' do.
    if (in_memory && !keep)
      run_shell("rm -rf " + q(work + wizard_tag) + " " + q(engine_root));
  }

  // The world map's frame rate: 300 one-frame commands once it is up.
  std::string spin = std::string(kToMap) + "sleep 1\n";
  const int frames = 300;
  // "sleep 0.000", not "sleep 0": the trace of the way to the map has
  // "script sleep 0.3" and "script sleep 0.5", which would count as frames.
  for (int i = 0; i < frames; ++i) spin += "sleep 0.000\n";
  spin += "quit\n";
  program_run m = start(work, "map", spin, disc, true);  // else a still map is held back
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

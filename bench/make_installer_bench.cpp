// Release builder speed: a disc release of a master folder made from
// make-corpus.py, against one zip per file with xargs -P<processors> plus a
// md5sum pass over the same files, in the same run. The builder works on
// the calling thread, one file after another; the single-process zip line
// shows what that costs. Everything is made under $TMPDIR (or /tmp) and
// removed afterwards.
//
//   bench_make_installer_bench [--scale S] [--runs N] [--keep 1]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "GenH/shell.h"
#include "Installer-f/make_installer.h"
#include "Linux/lin_sys.h"
#include "bench_util.h"

using bench::best_of;
using bench::q;
using bench::run_shell;
using bench::shell_out;

namespace {
int quiet_progress(const std::string&, float) { return 0; }
void quiet_alert(const std::string&, const std::string&, const std::string&, const std::string&) {}
}  // namespace

int main(int argc, char** argv) {
  double scale = 0.25;
  int runs = 2, keep = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--scale") scale = atof(argv[i + 1]);
    if (a == "--runs") runs = std::max(1, atoi(argv[i + 1]));
    if (a == "--keep") keep = atoi(argv[i + 1]);
  }
  const bench::scratch tmp("builder-bench", keep != 0, bench::tmp_root());
  const std::string& g_tmp = tmp.path();
  if (chdir(g_tmp.c_str()) != 0) return 1;  // the alerts' memory report lands here too
  const std::string gen = g_tmp + "gen", master = g_tmp + "master/";

  // The corpus is an installed tree; the master holds it under its platform
  // folders, with the folders every release needs.
  bench::make_corpus(scale, gen);
  std::string dirs;
  for (const char* d :
       {"All/Instructions", "All/Weapons", "All/Airfoils", "All/Aircraft", "All/Output",
        "All/Custom Scenery", "All/Global Scenery", "All/Resources/plugins",
        "All/Resources/default scenery/900 red terrain",
        "All/Resources/bitmaps/Earth Orbit Textures", "Macintosh/Flyvane.app", "Windows", "Linux"})
    dirs += " " + q(master + d);
  run_shell("mkdir -p" + dirs);
  run_shell("cd " + q(gen) + " && cp -a Resources Aircraft 'Global Scenery' " + q(master + "All/") +
            " && cp -a Contents " + q(master + "Macintosh/Flyvane.app/"));
  run_shell("rm -rf " + q(gen));

  // The files the builder releases (everything in this master), in pairs
  // "archive file" for zip; md5sum hashes the plain files (the links are
  // hashed by their text, which costs nothing).
  const std::string list = g_tmp + "files.txt", plain = g_tmp + "plain.txt",
                    pairs = g_tmp + "pairs.txt", peer = g_tmp + "peer/";
  run_shell("cd " + q(master) + " && find . \\( -type f -o -type l \\) -printf '%P\\0' > " +
            q(list));
  run_shell("cd " + q(master) + " && find . -type f -printf '%P\\0' > " + q(plain));
  run_shell("tr '\\0' '\\n' < " + q(list) + " | awk '{ printf \"%s\", \"" + peer +
            "\" $0 \".zip\\0\" $0 \"\\0\" }' > " + q(pairs));
  const long files = std::stol(shell_out("tr -cd '\\0' < " + q(list) + " | wc -c"));
  const double mb =
      std::stod(shell_out("cd " + q(master) + " && du -sb --apparent-size . | cut -f1")) / 1e6;
  const double split_kb = mb * 1000 / 3;  // a disc set of two or three
  run_shell("cd " + q(master) + " && xargs -0 cat < " + q(list) + " > /dev/null 2>&1; true");

  const int procs = LIN_processor_count();
  const std::string np = std::to_string(procs);
  auto peer_run = [&](const std::string& p) {
    run_shell("cd " + q(master) + " && find . -type d -printf '" + peer +
              "%P\\0' | xargs -0 mkdir -p");
    run_shell("cd " + q(master) + " && xargs -0 -P" + p + " -n2 zip -q -X -y < " + q(pairs));
    run_shell("cd " + q(master) + " && xargs -0 md5sum < " + q(plain) + " > /dev/null");
  };
  auto clear_peer = [&] { run_shell("rm -rf " + q(peer)); };
  const double t_peer = best_of(runs, clear_peer, [&] { peer_run(np); });
  const double t_peer1 = best_of(1, clear_peer, [&] { peer_run("1"); });
  clear_peer();

  build_progress = quiet_progress;
  MACIBM_system_alert = quiet_alert;
  build_type = 1;
  src_fold = master;
  dst_fold_base = g_tmp + "release/";
  sim_name = "Bench Release";
  dvd_split_kb = split_kb;
  const double t_build = best_of(
      runs, [&] { run_shell("rm -rf " + q(dst_fold_base)); }, [] { build_install(); });
  const long archives = std::stol(shell_out("find " + q(dst_fold_base) + " -name '*.zip' | wc -l"));
  const long discs = std::stol(shell_out("ls -d " + q(dst_fold_base) + "disk_* | wc -l"));

  printf("master: %ld files, %.1f MB; %d processors; best of %d runs\n", files, mb, procs, runs);
  printf("  %-46s %8.3f s %8.1f MB/s\n", ("xargs -P" + np + " -n1 zip -q -X, then md5sum").c_str(),
         t_peer, mb / t_peer);
  printf("  %-46s %8.3f s %8.1f MB/s\n", "xargs -P1 -n1 zip -q -X, then md5sum", t_peer1,
         mb / t_peer1);
  printf("  %-46s %8.3f s %8.1f MB/s  (%ld archives with the file list, %ld discs)\n",
         "build_install (disc release, one thread)", t_build, mb / t_build, archives, discs);
  printf("ratio peer (xargs -P%s) / build_install: %.3f\n", np.c_str(), t_peer / t_build);
  printf("ratio peer (xargs -P1) / build_install:  %.3f\n", t_peer1 / t_build);
  return 0;
}

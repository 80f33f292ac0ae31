// Release builder speed: a disc release of a make-corpus.py --release master
// (with its pre-packed 7z tiles), against what the same work costs with
// standard tools in the same run: one zip per released file with
// xargs -P<processors>, then md5sum over every released file. The builder
// packs on its worker pool (one thread per processor); its one-thread build
// is timed too. Everything is made under $TMPDIR (or /tmp) and removed
// afterwards.
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
  const std::string master = g_tmp + "master/";
  printf("making the release master (scale %g) in %s\n", scale, master.c_str());
  fflush(stdout);
  run_shell("python3 " + q(bench::corpus_script()) + " --release --prepack-7z --scale " +
            std::to_string(scale) + " " + q(master) + " > /dev/null");

  // What the builder releases from this master: everything but the 7z
  // archives and the preferences. The global scenery goes out as its
  // pre-packed 7z (a hard link), so the peer only hashes it; the rest is
  // zipped, in pairs "archive file" for zip. md5sum reads the plain files
  // (links are hashed by their text, which costs nothing).
  const std::string zipped = g_tmp + "zipped.txt", hashed = g_tmp + "hashed.txt",
                    pairs = g_tmp + "pairs.txt", peer = g_tmp + "peer/";
  const std::string released = "\\( -type f -o -type l \\) ! -name '*.7z' ! -path './All/Output/preferences/*'";
  run_shell("cd " + q(master) + " && find . " + released +
            " ! -path './All/Global Scenery/*' -printf '%P\\0' > " + q(zipped));
  run_shell("cd " + q(master) + " && find . " + released + " -type f -printf '%P\\0' > " +
            q(hashed));
  run_shell("tr '\\0' '\\n' < " + q(zipped) + " | awk '{ printf \"%s\", \"" + peer +
            "\" $0 \".zip\\0\" $0 \"\\0\" }' > " + q(pairs));
  const long files = std::stol(shell_out("cd " + q(master) + " && find . " + released + " | wc -l"));
  const long zips = std::stol(shell_out("tr -cd '\\0' < " + q(zipped) + " | wc -c"));
  const double mb = std::stod(shell_out("cd " + q(master) + " && find . " + released +
                                        " -printf '%s\\n' | awk '{ s += $1 } END { print s }'")) /
                    1e6;
  const double split_kb = mb * 1000 / 3;  // a disc set of two or three
  run_shell("cd " + q(master) + " && xargs -0 cat < " + q(hashed) + " > /dev/null 2>&1; true");

  const int procs = LIN_processor_count();
  const std::string np = std::to_string(procs);
  auto peer_run = [&](const std::string& p) {
    run_shell("cd " + q(master) + " && find . -type d -printf '" + peer +
              "%P\\0' | xargs -0 mkdir -p");
    run_shell("cd " + q(master) + " && xargs -0 -P" + p + " -n2 zip -q -X -y < " + q(pairs));
    run_shell("cd " + q(master) + " && xargs -0 md5sum < " + q(hashed) + " > /dev/null");
  };
  auto clear_peer = [&] { run_shell("rm -rf " + q(peer)); };

  build_progress = quiet_progress;
  MACIBM_system_alert = quiet_alert;
  build_type = 1;
  src_fold = master;
  dst_fold_base = g_tmp + "release/";
  sim_name = "Bench Release";
  dvd_split_kb = split_kb;
  auto clear_release = [&] { run_shell("rm -rf " + q(dst_fold_base)); };
  // The machine may be shared: the peer and the builder take turns, and
  // each keeps its best time.
  double t_peer = 1e30, t_build = 1e30;
  build_threads = 0;
  for (int r = 0; r < runs; ++r) {
    t_peer = std::min(t_peer, best_of(1, clear_peer, [&] { peer_run(np); }));
    t_build = std::min(t_build, best_of(1, clear_release, [] { build_install(); }));
  }
  clear_peer();
  const long archives = std::stol(shell_out("find " + q(dst_fold_base) + " -name '*.zip' | wc -l"));
  const long discs = std::stol(shell_out("ls -d " + q(dst_fold_base) + "disk_* | wc -l"));
  build_threads = 1;
  const double t_build1 = best_of(1, clear_release, [] { build_install(); });
  clear_release();

  printf("master: %ld files released (%ld zipped), %.1f MB; %d processors; best of %d runs\n",
         files, zips, mb, procs, runs);
  printf("  %-50s %8.3f s %8.1f MB/s\n",
         ("xargs -P" + np + " -n2 zip -q -X -y, then md5sum").c_str(), t_peer, mb / t_peer);
  printf("  %-50s %8.3f s %8.1f MB/s  (%ld archives with the file list, %ld discs)\n",
         ("build_install (disc release, " + np + " threads)").c_str(), t_build, mb / t_build,
         archives, discs);
  printf("  %-50s %8.3f s %8.1f MB/s\n", "build_install (disc release, one thread)", t_build1,
         mb / t_build1);
  printf("ratio peer (xargs -P%s) / build_install: %.3f\n", np.c_str(), t_peer / t_build);
  printf("ratio one thread / pooled build_install:  %.3f\n", t_build1 / t_build);
  return 0;
}
